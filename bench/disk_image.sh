#!/usr/bin/env bash
# A 1.44 MB HFS floppy holding 20 documents, converted end to end to
# OpenDocument (start-up, reading the volume, every document, every
# target): the real MacWrite and ClarisWorks documents of ../shared/corpus
# that fit, in two folders, or without the corpus the samples repeated.
# The floppy is made with hfsutils, each document with its type and creator.
#
# usage: bench/disk_image.sh [RUNS]   (default: 50 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh
command -v hformat >/dev/null || { echo "hfsutils is needed: scripts/install-deps.sh"; exit 1; }
build_release verbatra
build_release verbatra_spawn_bench
spawn="$PWD/build/release/bench/verbatra_spawn_bench"
bin="$PWD/build/release/verbatra"
runs=${1:-50}
corpus=${VERBATRA_CORPUS:-../shared/corpus}

# Twenty documents that fit on the floppy, as MacBinary with their Finder
# type and creator.
mkdir -p "$work/bin"
python3 - "$work/bin" "$corpus" samples <<'PY'
import glob, os, struct, sys
out, corpus, samples = sys.argv[1:4]
kinds = [("macwrite/*.mw", b"WORD", b"MACA"), ("clarisworks/*.cwk", b"CWWP", b"BOBO")]
docs = []
for pattern, t, c in kinds:
    docs += [(p, t, c) for p in sorted(glob.glob(os.path.join(corpus, pattern)), key=os.path.getsize)]
docs = [d for d in docs if os.path.getsize(d[0]) < 60000][:20]
while len(docs) < 20:
    for p in ("LETTER", "MEMO.TXT", "RECIPE"):  # the plain-text samples
        docs.append((os.path.join(samples, p), b"TEXT", b"ttxt"))
docs = docs[:20]
def crc(data):
    c = 0
    for b in data:
        c ^= b << 8
        for _ in range(8):
            c = ((c << 1) ^ 0x1021) if c & 0x8000 else c << 1
            c &= 0xFFFF
    return c
for i, (path, t, c) in enumerate(docs):
    data = open(path, "rb").read()
    name = b"Document %d" % (i + 1)
    h = bytearray(128)
    h[1] = len(name); h[2:2 + len(name)] = name
    h[65:69] = t; h[69:73] = c
    struct.pack_into(">II", h, 83, len(data), 0)
    h[122] = h[123] = 129
    struct.pack_into(">H", h, 124, crc(h[:124]))
    open(os.path.join(out, "%02d.bin" % (i + 1)), "wb").write(bytes(h) + data + b"\0" * (-len(data) % 128))
PY
export HOME="$work"  # hfsutils keeps its current volume there
dd if=/dev/zero of="$work/floppy.img" bs=1k count=1440 2>/dev/null
hformat -l Bench "$work/floppy.img" >/dev/null
hmkdir Letters
hmkdir Reports
for f in "$work"/bin/*.bin; do
  n=$(basename "$f" .bin)
  folder=Letters
  [ "${n#0}" -gt 10 ] && folder=Reports
  hcopy -m "$f" ":$folder:Document $n"
done
humount >/dev/null

cd "$work"
"$bin" --from auto --to odt -o out floppy.img >/dev/null 2>&1 || true
count=$(find out -type f | wc -l)
read -r mean best < <("$spawn" "$runs" 'out/floppy.img/*/*' -- "$bin" --from auto --to odt -q -o out floppy.img)
peak=$(rm -rf out && peak_kb "$bin" --from auto --to odt -q -o out floppy.img)
printf 'floppy: %d bytes, %d documents converted, %d runs, mean (best) ms\n' "$(stat -c %s floppy.img)" "$count" "$runs"
printf '%-44s %7.3f (%7.3f)\n' "verbatra --from auto --to odt floppy.img" "$mean" "$best"
printf 'peak memory: %s KB\n' "$peak"
