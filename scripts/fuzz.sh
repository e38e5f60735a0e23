#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UBSan) and
# runs each for SECONDS (default 10, a smoke run), starting from seeds made
# of the real documents in ../shared/corpus, the samples and the test
# fixtures. Inputs that grow coverage collect in build/fuzz/corpora/TARGET
# and are used again by the next run; an input that breaks a property is
# kept as build/fuzz/findings/TARGET-* and the script fails.
#
# usage: scripts/fuzz.sh [SECONDS] [TARGETS-AT-ONCE]   (default 10 s, one at a time)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
at_once=${2:-1}
# A short run (the test command's) starts from a fixed seed, so that it
# takes the same first paths on every machine; a long run explores.
seed=()
[ "$seconds" -le 60 ] && seed=(-seed=1)
scripts/install-deps.sh --fuzz
cmake --preset fuzz >/dev/null
# Linked afresh, so that a binary of a target that is gone is not run.
rm -f build/fuzz/fuzzers/*
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

out=$PWD/build/fuzz
seeds=$out/seeds
rm -rf "$seeds"
mkdir -p "$seeds/fixtures" "$out/corpora" "$out/findings" "$out/logs"
corpus=${VERBATRA_CORPUS:-../shared/corpus}
# The registry's built readers and writers, in its order: each is a target.
readers=() writers=()
while read -r kind name; do
  if [ "$kind" = read ]; then readers+=("$name"); else writers+=("$name"); fi
done < <("$out/fuzz/stream-of" --formats)

# The fixtures of the unit tests, when a test build is there.
for tests in build/debug/tests/verbatra_tests build/release/tests/verbatra_tests; do
  if [ -x "$tests" ]; then
    VERBATRA_KEEP_FIXTURES="$seeds/fixtures" "$tests" --gtest_filter='MacWrite*:ClarisWorks*:Works*:WordDos*:Ragtime*:Nisus*:DiskImage*' >/dev/null 2>&1 || true
    break
  fi
done

add() {  # add TARGET FILE...
  mkdir -p "$seeds/$1"
  local t=$1
  shift
  for f in "$@"; do [ -f "$f" ] && cp "$f" "$seeds/$t/$(basename "$f")"; done
  return 0
}
shopt -s nullglob
add read-text samples/* "$corpus"/mactext/*.txt "$corpus"/mactext/*.datafork
add read-macwrite "$corpus"/macwrite/*.mw "$corpus"/macwrite/wrapped/*.macbin "$seeds"/fixtures/macwrite-*
add read-macwrite2 "$seeds"/fixtures/macwrite2-*
add read-works2 "$seeds"/fixtures/works-* "$corpus"/msworks_nonwp/*.datafork
add read-works3 "$seeds"/fixtures/works-* "$corpus"/msworks_nonwp/*.datafork
add read-clarisworks "$corpus"/clarisworks/*.cwk "$corpus"/clarisworks/wrapped/*.macbin "$seeds"/fixtures/clarisworks-*
add read-ragtime2 "$seeds"/fixtures/ragtime2-*
add read-ragtime3 "$corpus"/ragtime/*.datafork "$corpus"/ragtime/*.macbin "$seeds"/fixtures/ragtime3-*
add read-nisus "$seeds"/fixtures/nisus-* "$corpus"/*/wrapped/*.as "$corpus"/ragtime/*.as
add read-mfs "$seeds"/fixtures/disk-mfs*
add read-hfs "$seeds"/fixtures/disk-hfs*
add read-diskcopy "$seeds"/fixtures/disk-diskcopy*
add read-partition-map "$seeds"/fixtures/disk-partition-map*
# Text from other systems: UTF-8 and Windows 1252, with a stray byte each.
printf 'Caf\xc3\xa9 r\xc3\xa9sum\xc3\xa9 \xe2\x80\x94 \xe2\x80\x9cquotes\xe2\x80\x9d \x9d\r\n' >"$seeds/pc-utf8.txt"
printf 'Caf\xe9 r\xe9sum\xe9 \x97 \x93quotes\x94 \x81\r\n' >"$seeds/pc-cp1252.txt"
add read-utf8 samples/* "$seeds"/pc-*.txt
add read-windows-text samples/* "$seeds"/pc-*.txt
add read-forks "$seeds"/fixtures/nisus-* "$corpus"/*/wrapped/*.as "$corpus"/*/wrapped/*.macbin "$corpus"/ragtime/*.as
add recognise "$corpus"/*/*.hqx "$corpus"/*/wrapped/*.as "$corpus"/macwrite/*.mw "$corpus"/clarisworks/*.cwk \
  "$corpus"/ragtime/*.datafork "$corpus"/mactext/*.txt "$seeds"/fixtures/macwrite2-* "$seeds"/fixtures/works-* \
  "$seeds"/fixtures/ragtime2-* "$seeds"/fixtures/nisus-* "$seeds"/pc-*.txt

# Writer seeds: the streams our readers make of those, and the test streams.
mkdir -p "$seeds/streams"
for reader in "${readers[@]}"; do
  mkdir -p "$seeds/read-$reader"
  for f in "$seeds/read-$reader"/*; do
    "$out/fuzz/stream-of" "$reader" "$f" "$seeds/streams/$reader-$(basename "$f")" 2>/dev/null || true
  done
done
for f in "$seeds"/fixtures/stream-*; do cp "$f" "$seeds/streams/"; done
for w in "${writers[@]}"; do add "write-$w" "$seeds"/streams/*; done

# The whole conversion: a byte for the reader, a byte for the writer.
mkdir -p "$seeds/convert"
r=0
for reader in "${readers[@]}"; do
  for f in "$seeds/read-$reader"/*; do
    w=$(( RANDOM % ${#writers[@]} ))
    { printf "\\x$(printf %02x $r)\\x$(printf %02x $w)"; cat "$f"; } >"$seeds/convert/$r-$w-$(basename "$f")"
  done
  r=$((r + 1))
done

run_one() {  # run_one NAME FUZZER [FORMAT]: prints one line, returns 1 on a finding
  local name=$1 fuzzer=$2 log runs
  export VERBATRA_FUZZ_FORMAT=${3:-}
  mkdir -p "$out/corpora/$name" "$seeds/$name"
  log="$out/logs/$name.log"
  if "$fuzzer" "${seed[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$out/findings/$name-" "$out/corpora/$name" "$seeds/$name" >"$log" 2>&1; then
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    printf '%-16s %10s runs in %s s, no finding\n' "$name" "${runs:-?}" "$seconds"
  else
    printf '%-16s FINDING, see %s and %s\n' "$name" "$log" "$out/findings/"
    grep -m3 -E 'ERROR|fuzz property broken|SUMMARY' "$log" || true
    return 1
  fi
}

# NAME BINARY [FORMAT]: a reader or writer target per row of the registry,
# then every other binary once.
jobs=()
for r in "${readers[@]}"; do jobs+=("read-$r $out/fuzzers/reader $r"); done
for w in "${writers[@]}"; do jobs+=("write-$w $out/fuzzers/writer $w"); done
for fuzzer in "$out"/fuzzers/*; do
  case $(basename "$fuzzer") in reader|writer) ;; *) jobs+=("$(basename "$fuzzer") $fuzzer") ;; esac
done
status=0
running=0
for job in "${jobs[@]}"; do
  if [ "$running" -ge "$at_once" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  # shellcheck disable=SC2086
  run_one $job &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
