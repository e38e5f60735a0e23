#!/usr/bin/env bash
# Cross-builds the Windows programs with Debian's mingw-w64, installing the
# cross tools when they are missing: build/windows/verbatra.exe (the
# dialog), build/windows/verbatra-cli.exe (the command line), both 64-bit
# and static (they need no DLL beside them), and the dialog's test driver;
# then the zip of both with a short text, build/windows/verbatra-VERSION-windows.zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --windows
if [ ! -f build/windows/CMakeCache.txt ]; then
  cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVERBATRA_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build/windows -j "$(nproc)" --target verbatra verbatra_dialog verbatra_dialog_driver >/dev/null
# The zip a Windows user is given: both programs and a short text.
(cd build/windows && rm -f verbatra-*-windows.zip && cpack -G ZIP >/dev/null)
echo "built build/windows/verbatra.exe and build/windows/verbatra-cli.exe, packed in $(ls build/windows/verbatra-*-windows.zip)"
