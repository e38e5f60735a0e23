#!/usr/bin/env bash
# Throughput of the RTF writer ("RTF Ansi (Windows)") on a generated styled
# stream (text, style codes, accented and Symbol characters, tabs, sizes),
# and its peak memory for two stream sizes, which should be the same.
#
# usage: bench/rtf_throughput.sh [MEGABYTES]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-20}
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target verbatra_rtf_bench >/dev/null
bin="$PWD/build/release/bench/verbatra_rtf_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for _ in 1 2 3; do
  line=$("$bin" "$mb" "$work")
  echo "$line"
done
peak() { /usr/bin/time -v "$bin" "$1" "$work" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
printf 'peak memory: 2 MB stream %s KB, %s MB stream %s KB\n' "$(peak 2)" "$mb" "$(peak "$mb")"
