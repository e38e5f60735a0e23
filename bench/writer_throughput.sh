#!/usr/bin/env bash
# Throughput of a writer (by its short name; "RTF Ansi (Windows)" by
# default) on a generated styled stream (text, style codes, accented and
# Symbol characters, tabs, sizes), and its peak memory for two stream
# sizes, which should be the same.
#
# usage: bench/writer_throughput.sh [WRITER] [MEGABYTES]   (default rtf-ansi 20)
set -euo pipefail
cd "$(dirname "$0")/.."
writer=${1:-rtf-ansi}
mb=${2:-20}
source bench/common.sh
build_release verbatra_writer_bench
bin="$PWD/build/release/bench/verbatra_writer_bench"
for _ in 1 2 3; do "$bin" "$mb" "$work" "$writer"; done
printf 'peak memory: 2 MB stream %s KB, %s MB stream %s KB\n' "$(peak_kb "$bin" 2 "$work" "$writer")" "$mb" \
  "$(peak_kb "$bin" "$mb" "$work" "$writer")"
