#!/usr/bin/env bash
# What writing a target under a name of ours, putting it on the disk and
# then naming it costs: the text benchmark (one 50 MB file) and the batch
# benchmark (a tree of small files, one at a time) with this build and with
# a build of BASELINE, a commit from before targets were published so
# (default 5b739ac, where the target was written under its own name).
# Best of RUNS runs each, alternating.
#
# usage: bench/publishing_cost.sh [BASELINE] [RUNS] [FILES]   (default 5b739ac 5 10000)
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=${1:-5b739ac}
runs=${2:-5}
files=${3:-10000}
source bench/common.sh
build_release verbatra
new="$PWD/build/release/verbatra"

git worktree add -f "$work/baseline" "$baseline" >/dev/null 2>&1
trap 'git worktree remove --force "$work/baseline" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cmake -S "$work/baseline" -B "$work/baseline/build" -DCMAKE_BUILD_TYPE=Release -DVERBATRA_TESTS=OFF >/dev/null
cmake --build "$work/baseline/build" -j "$(nproc)" --target verbatra >/dev/null
old="$work/baseline/build/verbatra"

mkdir -p "$work/text"
python3 bench/make_mac_text.py 50 "$work/text/BIG" >/dev/null
python3 - "$work/tree" "$files" <<'PY'
import os, random, sys
root, files = sys.argv[1], int(sys.argv[2])
random.seed(3)
words = [w.encode("mac_roman") for w in "le caf\u00e9 d\u00e9j\u00e0 the archive disk letter report".split()]
for i in range(files):
    d = os.path.join(root, "D%03d" % (i // 100))
    os.makedirs(d, exist_ok=True)
    text = b"\r".join(b" ".join(random.choice(words) for _ in range(12)) for _ in range(random.randint(5, 40)))
    with open(os.path.join(d, "DOC%05d.TXT" % i), "wb") as f:
        f.write(text + b"\r")
PY

# seconds COMMAND...: wall time of one run.
seconds() {
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  e=$(date +%s.%N)
  echo "$e - $s" | bc -l
}
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }

text_old="" text_new="" tree_old="" tree_new=""
for _ in $(seq "$runs"); do
  for which in old new; do
    bin=${!which}
    rm -f "$work"/text/BIG.* "$work"/text/.verbatra-*
    sync
    t=$(seconds "$bin" --from text --to dos "$work/text/BIG")
    if [ "$which" = old ]; then text_old=$(min "$text_old" "$t"); else text_new=$(min "$text_new" "$t"); fi
    rm -rf "$work/run" && cp -r "$work/tree" "$work/run" && sync
    extra=()
    [ "$which" = new ] && extra=(-j 1)
    t=$(seconds bash -c "cd '$work/run' && '$bin' -q -r ${extra[*]:-} --from text --to ansi '*.TXT'")
    if [ "$which" = old ]; then tree_old=$(min "$tree_old" "$t"); else tree_new=$(min "$tree_new" "$t"); fi
  done
done
printf '%-34s %8s %8s %8s\n' "" "before" "now" "cost"
printf '%-34s %8.3f %8.3f %7.1f%%\n' "text, 50 MB (s)" "$text_old" "$text_new" "$(echo "($text_new / $text_old - 1) * 100" | bc -l)"
printf '%-34s %8.3f %8.3f %7.1f%%\n' "batch, $files files, -j 1 (s)" "$tree_old" "$tree_new" "$(echo "($tree_new / $tree_old - 1) * 100" | bc -l)"
