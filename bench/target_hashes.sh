#!/usr/bin/env bash
# Writes the SHA-256 of every target of every real document, sample and test
# fixture, to every target format, and of every test stream through every
# writer: one line each, "HASH  TARGET-FORMAT/NAME" (or "refused" when no
# target came of it). Run it before and after a change that should keep the
# bytes, and diff the two lists.
#
# The fixtures are named by their content, so that a test added between the
# two runs does not rename them; FIXTURES_FROM=BUILD-DIR takes them from
# another build's tests (the one the "after" run uses, say), so that both
# runs convert the same files.
#
# usage: bench/target_hashes.sh OUTPUT [BUILD-DIR]   (default build/debug)
set -euo pipefail
cd "$(dirname "$0")/.."
out_list=$(realpath -m "$1")
build=$(realpath "${2:-build/debug}")
corpus=${VERBATRA_CORPUS:-../shared/corpus}
bin=$build/verbatra
writer=$build/bench/verbatra_write_stream
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/in/fixtures" "$work/in/samples" "$work/streams"
fixtures_from=$(realpath "${FIXTURES_FROM:-$build}")
VERBATRA_KEEP_FIXTURES="$work/in/fixtures" "$fixtures_from/tests/verbatra_tests" >/dev/null 2>&1 || true
for f in "$work"/in/fixtures/*; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  mv "$f" "$work/in/fixtures/${name%-*}-$(sha256sum <"$f" | cut -c1-12)"
done
mv "$work"/in/fixtures/stream-* "$work/streams/" 2>/dev/null || true
cp samples/* "$work/in/samples/"
[ -d "$corpus" ] && for d in "$corpus"/*/; do
  name=$(basename "$d")
  [ "$name" = reference ] && continue
  mkdir -p "$work/in/$name"
  find "$d" -maxdepth 2 -type f ! -name '*.finf' ! -name '*.rsrc' -exec cp {} "$work/in/$name/" \;
done

targets=(dos ansi rtf-dos rtf-ansi word-dos word-win2 wp5)
: >"$work/list"
for t in "${targets[@]}"; do
  rm -f "$work/report"
  (cd "$work/in" && "$bin" --from auto --to "$t" -j 1 -q -r -o "$work/out/$t" --report "$work/report" . \
    >/dev/null 2>&1) || true
  python3 - "$work/report" "$t" >>"$work/list" <<'PY'
import hashlib, json, sys
for line in open(sys.argv[1], encoding="utf-8", errors="surrogateescape"):
    r = json.loads(line)
    if "source" not in r:
        continue
    digest = "refused"
    if r.get("target"):
        digest = hashlib.sha256(open(r["target"], "rb").read()).hexdigest()
    print(f"{digest}  {sys.argv[2]}/{r['source'].removeprefix('./')}  {r['outcome']}")
PY
  for s in "$work"/streams/*; do
    [ -f "$s" ] || continue
    if "$writer" "$t" "$s" "$work/one" 2>/dev/null; then
      printf '%s  %s/streams/%s\n' "$(sha256sum <"$work/one" | cut -c1-64)" "$t" "$(basename "$s")"
    else
      printf 'refused  %s/streams/%s\n' "$t" "$(basename "$s")"
    fi
  done >>"$work/list"
done
sort -k2 "$work/list" >"$out_list"
wc -l <"$out_list"
