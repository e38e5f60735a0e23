#!/usr/bin/env bash
# Throughput of the RTF writer ("RTF Ansi (Windows)") on a generated styled
# stream (text, style codes, accented and Symbol characters, tabs, sizes),
# and its peak memory for two stream sizes, which should be the same.
#
# usage: bench/rtf_throughput.sh [MEGABYTES]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-20}
source bench/common.sh
build_release verbatra_rtf_bench
bin="$PWD/build/release/bench/verbatra_rtf_bench"
for _ in 1 2 3; do "$bin" "$mb" "$work"; done
printf 'peak memory: 2 MB stream %s KB, %s MB stream %s KB\n' "$(peak_kb "$bin" 2 "$work")" "$mb" \
  "$(peak_kb "$bin" "$mb" "$work")"
