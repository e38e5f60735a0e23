#!/usr/bin/env bash
# Throughput of the text-only reader with the "Ascii (DOS)" writer, beside
# iconv doing the same character conversion and tr doing a one-byte table
# lookup (the single-pass limit), on one generated Macintosh text file.
# Also the peak memory of verbatra on a 5 MB and a 50 MB file, which should
# be the same: the conversion streams through fixed buffers.
#
# usage: bench/text_throughput.sh [MEGABYTES]   (default 50)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-50}
source bench/common.sh
build_release verbatra
bin="$PWD/build/release/verbatra"

python3 bench/make_mac_text.py "$mb" "$work/BIG"
python3 bench/make_mac_text.py 5 "$work/SMALL" >/dev/null
bytes=$(stat -c %s "$work/BIG")

# Best of three wall-clock runs, in seconds.
best() {
  local best_t=""
  for _ in 1 2 3; do
    rm -f "$work"/BIG.asc "$work"/BIG.0* "$work/out"
    local s e t
    s=$(date +%s.%N)
    "$@" >/dev/null
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$best_t" ] || [ "$(echo "$t < $best_t" | bc -l)" = 1 ]; then best_t=$t; fi
  done
  echo "$best_t"
}

t_v=$(best "$bin" --from text --to dos "$work/BIG")
t_i=$(best sh -c "iconv -f MACINTOSH -t CP437//TRANSLIT '$work/BIG' > '$work/out'")
t_t=$(best sh -c "tr 'abc' 'xyz' < '$work/BIG' > '$work/out'")

rate() { echo "scale=1; $bytes / $1 / 1000000" | bc -l; }
printf 'input: %d bytes of Macintosh text\n' "$bytes"
printf '%-34s %8.3f s %8s MB/s\n' "verbatra text -> Ascii (DOS)" "$t_v" "$(rate "$t_v")"
printf '%-34s %8.3f s %8s MB/s\n' "iconv MACINTOSH -> CP437//TRANSLIT" "$t_i" "$(rate "$t_i")"
printf '%-34s %8.3f s %8s MB/s\n' "tr (one-byte table lookup)" "$t_t" "$(rate "$t_t")"
printf 'verbatra / iconv throughput: %sx   verbatra / tr: %sx\n' \
  "$(echo "scale=2; $t_i / $t_v" | bc -l)" "$(echo "scale=2; $t_t / $t_v" | bc -l)"

peak() {
  rm -f "$work"/*.asc
  peak_kb "$bin" --from text --to dos "$1"
}
printf 'peak memory: 5 MB file %s KB, %s MB file %s KB\n' "$(peak "$work/SMALL")" "$mb" "$(peak "$work/BIG")"
