#!/usr/bin/env bash
# Builds the release configuration and converts every bundled sample (one
# small document of each source format, and a floppy image) to every
# target format, then prints a table: a row a document, a column a
# target, each cell the size of the target written, or what became of
# the document. The samples are only read; the targets go to
# build/samples-out/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target verbatra >/dev/null
bin="$PWD/build/release/verbatra"
out="$PWD/build/samples-out"
rm -rf "$out"
mkdir -p "$out"

targets=()
while read -r name _; do targets+=("$name"); done < <("$bin" --list-formats | sed -n '/^Target formats/,$p' | tail -n +2)

# Each target's run over all the samples, with its record. RECIPE's
# accents are overstruck with backspaces, which only a reader named for
# it takes for text; every other sample's format is recognised.
cd samples
mapfile -t documents < <(ls | grep -v '^RECIPE$')
for target in "${targets[@]}"; do
  "$bin" --from auto --to "$target" -o "$out/$target" -q --report "$out/$target.jsonl" \
    "${documents[@]}" >/dev/null 2>&1 || true
  "$bin" --from text --to "$target" -o "$out/$target" -q --report "$out/$target.jsonl" RECIPE >/dev/null 2>&1 || true
done
cd ..

# One cell from a report line: the target's size, or the outcome.
cell() {
  awk -v want="$2" '
    function field(name,   m) {
      if (match($0, "\"" name "\":(\"[^\"]*\"|[0-9]+|null)")) {
        m = substr($0, RSTART + length(name) + 3, RLENGTH - length(name) - 3)
        gsub(/^"|"$/, "", m)
        return m
      }
      return ""
    }
    /^\{"source":/ && field("source") == want {
      outcome = field("outcome")
      cell = outcome == "converted" ? field("target_size") : outcome
    }
    END { print (cell == "" ? "-" : cell) }' "$1"
}

# The documents, in the order of the first target's record, with the
# format each was read as.
first="$out/${targets[0]}.jsonl"
printf '%-40s' "document (format)"
for target in "${targets[@]}"; do printf ' %9s' "$target"; done
printf '\n'
grep '^{"source":' "$first" | while IFS= read -r line; do
  source=$(printf '%s\n' "$line" | sed -n 's/^{"source":"\([^"]*\)".*/\1/p')
  format=$(printf '%s\n' "$line" | sed -n 's/.*"format":"\([^"]*\)".*/\1/p')
  [ -n "$source" ] || continue
  printf '%-40s' "$source${format:+ ($format)}"
  for target in "${targets[@]}"; do printf ' %9s' "$(cell "$out/$target.jsonl" "$source")"; done
  printf '\n'
done
echo "targets in $out/TARGET; each run's record in $out/TARGET.jsonl"
