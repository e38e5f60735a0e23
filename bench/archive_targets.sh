#!/usr/bin/env bash
# The archive targets (UTF-8 text, HTML, OpenDocument Text, DOCX) against
# the RTF writer on the same generated 50 MB styled stream (time, best of
# three), the peak memory of each for a 2 MB and a 200 MB stream (which
# should be the same), and the largest real MacWrite document of
# ../shared/corpus (or FILE) to OpenDocument end to end, start-up
# included, beside libmwaw's own direct path `mwaw2odf`.
#
# usage: bench/archive_targets.sh [FILE] [RUNS]   (default: 100 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
build_release verbatra_writer_bench
build_release verbatra
build_release verbatra_spawn_bench
writer="$PWD/build/release/bench/verbatra_writer_bench"
seconds() {  # seconds WRITER: the best of three runs on 50 MB
  for _ in 1 2 3; do "$writer" 50 "$work" "$1"; done | sed -E 's/.* in ([0-9.]+) s.*/\1/' | sort -n | head -1
}
rtf=$(seconds rtf-ansi)
printf '%-10s %8s %10s %14s %14s\n' writer "50 MB s" "x RTF" "peak 2 MB KB" "peak 200 MB KB"
printf '%-10s %8s %10s %14s %14s\n' rtf-ansi "$rtf" 1.00 "$(peak_kb "$writer" 2 "$work" rtf-ansi)" \
  "$(peak_kb "$writer" 200 "$work" rtf-ansi)"
for w in utf8 html odt docx; do
  s=$(seconds "$w")
  printf '%-10s %8s %10s %14s %14s\n' "$w" "$s" "$(echo "scale=2; $s / $rtf" | bc -l)" \
    "$(peak_kb "$writer" 2 "$work" "$w")" "$(peak_kb "$writer" 200 "$work" "$w")"
done

file=${1:-$(ls -S ../shared/corpus/macwrite/*.mw 2>/dev/null | head -1)}
runs=${2:-100}
if [ -z "$file" ] || ! command -v mwaw2odf >/dev/null; then
  echo "no MacWrite document or no mwaw2odf: the end-to-end comparison is skipped"
  exit 0
fi
spawn="$PWD/build/release/bench/verbatra_spawn_bench"
bin="$PWD/build/release/verbatra"
cp "$file" "$work/DOC"
cd "$work"
read -r v_mean v_best < <("$spawn" "$runs" 'DOC.*' -- "$bin" --from macwrite --to odt DOC)
read -r m_mean m_best < <("$spawn" "$runs" 'OUT.odt' -- mwaw2odf DOC OUT.odt)
printf 'document: %s (%d bytes), %d runs each, mean (best) ms\n' "$(basename "$file")" "$(stat -c %s DOC)" "$runs"
printf '%-36s %7.3f (%7.3f)\n' "verbatra macwrite -> ODT" "$v_mean" "$v_best"
printf '%-36s %7.3f (%7.3f)\n' "mwaw2odf" "$m_mean" "$m_best"
printf 'mwaw2odf / verbatra: %sx\n' "$(echo "scale=1; $m_mean / $v_mean" | bc -l)"
