#!/usr/bin/env bash
# Files per second over a tree of small Macintosh text files: one
# `verbatra --recursive` run ("Texte seul" to "Ansi (Windows)") with one
# conversion at a time (-j 1) and with one per processor (-j JOBS), beside
# a shell loop that runs iconv once per file over the same tree.
#
# usage: bench/batch_throughput.sh [FILES] [PER-DIRECTORY] [JOBS]   (default 10000 100 nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-10000}
per_dir=${2:-100}
jobs=${3:-$(nproc)}
source bench/common.sh
build_release verbatra
bin="$PWD/build/release/verbatra"

python3 - "$work/tree" "$files" "$per_dir" <<'PY'
import os, random, sys
root, files, per_dir = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(3)
words = [w.encode("mac_roman") for w in
         "le caf\u00e9 d\u00e9j\u00e0 \u00e9t\u00e9 the archive disk letter report note \u2022 \u2026".split()]
for i in range(files):
    d = os.path.join(root, "D%03d" % (i // per_dir // 10), "E%03d" % (i // per_dir))
    os.makedirs(d, exist_ok=True)
    text = b"\r".join(b" ".join(random.choice(words) for _ in range(12)) for _ in range(random.randint(5, 40)))
    with open(os.path.join(d, "DOC%05d.TXT" % i), "wb") as f:
        f.write(text + b"\r")
PY
cp -r "$work/tree" "$work/tree2"
cp -r "$work/tree" "$work/tree3"

s=$(date +%s.%N)
(cd "$work/tree" && "$bin" --quiet --recursive -j 1 --from text --to ansi '*.TXT' 2>"$work/summary")
e=$(date +%s.%N)
t_v=$(echo "$e - $s" | bc -l)

s=$(date +%s.%N)
(cd "$work/tree3" && "$bin" --quiet --recursive -j "$jobs" --from text --to ansi '*.TXT' 2>"$work/summary-j")
e=$(date +%s.%N)
t_j=$(echo "$e - $s" | bc -l)
if ! diff -r "$work/tree" "$work/tree3" >/dev/null; then
  echo "-j $jobs wrote other files than -j 1" >&2
  exit 1
fi

s=$(date +%s.%N)
find "$work/tree2" -type f -name '*.TXT' | while IFS= read -r f; do
  iconv -f MACINTOSH -t CP1252//TRANSLIT "$f" > "${f%.TXT}.asc"
done
e=$(date +%s.%N)
t_i=$(echo "$e - $s" | bc -l)

converted=$(find "$work/tree" -name '*.asc' | wc -l)
printf 'tree: %d files, %d per directory; verbatra says: %s\n' "$files" "$per_dir" "$(cat "$work/summary")"
printf '%-30s %8.2f s %10.0f files/s\n' "verbatra --recursive -j 1" "$t_v" "$(echo "$converted / $t_v" | bc -l)"
printf '%-30s %8.2f s %10.0f files/s\n' "verbatra --recursive -j $jobs" "$t_j" "$(echo "$converted / $t_j" | bc -l)"
printf '%-30s %8.2f s %10.0f files/s\n' "shell loop of iconv" "$t_i" "$(echo "$files / $t_i" | bc -l)"
printf 'verbatra / iconv loop: %sx (-j 1), %sx (-j %s)\n' "$(echo "scale=1; $t_i / $t_v" | bc -l)" \
  "$(echo "scale=1; $t_i / $t_j" | bc -l)" "$jobs"
printf -- '-j %s / -j 1: %sx\n' "$jobs" "$(echo "scale=2; $t_v / $t_j" | bc -l)"
