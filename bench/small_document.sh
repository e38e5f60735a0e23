#!/usr/bin/env bash
# A small document end to end, start-up included: the largest real MacWrite
# document of ../shared/corpus (or FILE) converted to "Ascii (DOS)" by
# verbatra, beside libmwaw's mwaw2text printing its text, and an empty
# program of ours (`verbatra --help`) and an empty static C program: the
# floor of any run on this machine, which bounds the ratio any converter
# can reach against mwaw2text.
#
# usage: bench/small_document.sh [FILE] [RUNS]   (default: 200 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
build_release verbatra
build_release verbatra_spawn_bench
spawn="$PWD/build/release/bench/verbatra_spawn_bench"
bin="$PWD/build/release/verbatra"
file=${1:-$(ls -S ../shared/corpus/macwrite/*.mw | head -1)}
runs=${2:-200}
cp "$file" "$work/DOC"
printf 'int main(void) { return 0; }\n' > "$work/empty.c"
cc -O2 -static "$work/empty.c" -o "$work/empty"
cd "$work"
read -r v_mean v_best < <("$spawn" "$runs" 'DOC.*' -- "$bin" --from macwrite --to dos DOC)
read -r m_mean m_best < <("$spawn" "$runs" 'none' -- mwaw2text DOC)
read -r h_mean h_best < <("$spawn" "$runs" 'none' -- "$bin" --help)
read -r e_mean e_best < <("$spawn" "$runs" 'none' -- ./empty)
printf 'document: %s (%d bytes), %d runs each, mean (best) ms\n' "$(basename "$file")" "$(stat -c %s DOC)" "$runs"
printf '%-36s %7.3f (%7.3f)\n' "verbatra macwrite -> Ascii (DOS)" "$v_mean" "$v_best"
printf '%-36s %7.3f (%7.3f)\n' "mwaw2text" "$m_mean" "$m_best"
printf '%-36s %7.3f (%7.3f)\n' "verbatra --help (start-up alone)" "$h_mean" "$h_best"
printf '%-36s %7.3f (%7.3f)\n' "empty static C program" "$e_mean" "$e_best"
printf 'mwaw2text / verbatra: %sx   mwaw2text / empty program: %sx\n' \
  "$(echo "scale=1; $m_mean / $v_mean" | bc -l)" "$(echo "scale=1; $m_mean / $e_mean" | bc -l)"
