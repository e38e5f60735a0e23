#!/usr/bin/env bash
# Identification speed: `verbatra --identify -r` over a tree of FILES small
# Macintosh text files (a hundred a folder), every file opened, recognised
# and hashed, one JSON line each.
#
# usage: bench/identify.sh [FILES] [RUNS]   (default 10000 files, 5 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-10000}
runs=${2:-5}
source bench/common.sh
build_release verbatra
bin="$PWD/build/release/verbatra"
python3 - "$work/tree" "$files" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    d = os.path.join(root, "D%03d" % (i // 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "F%05d" % i), "wb") as f:
        f.write(b"Le caf\x8e est d\x8ej\x88 l\x88, note %d.\r" % i * (1 + i % 40))
PY
"$bin" --identify -r "$work/tree" > "$work/out.jsonl"
echo "records: $(wc -l < "$work/out.jsonl") for $files files"
best=999
for _ in $(seq "$runs"); do
  start=$(date +%s.%N)
  "$bin" --identify -r "$work/tree" > /dev/null
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  best=$(echo "if ($t < $best) $t else $best" | bc -l)
done
printf 'best of %d runs: %.3f s, %.0f files a second\n' "$runs" "$best" "$(echo "$files / $best" | bc -l)"
