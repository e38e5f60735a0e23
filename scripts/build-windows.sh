#!/usr/bin/env bash
# Cross-builds the Windows command line, build/windows/verbatra-cli.exe
# (64-bit, static: it needs no DLL beside it), with Debian's mingw-w64,
# installing the cross tools when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
if [ ! -f build/windows/CMakeCache.txt ]; then
  cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVERBATRA_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build/windows -j "$(nproc)" --target verbatra >/dev/null
echo "built build/windows/verbatra-cli.exe"
