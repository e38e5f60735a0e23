#!/usr/bin/env bash
# Builds the debug configuration (AddressSanitizer and UBSan) and runs every
# test, then a short run of every fuzz target, then the Windows command line
# under Wine against the Linux build, then the installation and the Debian
# package as a user takes them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)"
ctest --preset debug -j "$(nproc)"
scripts/fuzz.sh 10
scripts/test-windows.sh
scripts/test-package.sh
