#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: a C++20
# compiler, CMake and GoogleTest, and the independent readers the oracle
# tests hand our files to (LibreOffice, unrtf, libwps, antiword, libwpd,
# libmwaw), clang with libFuzzer for the fuzz targets, and mingw-w64 and
# Wine for the Windows programs. Does nothing when they are already there.
# With --build-only, only the compiler, CMake and GoogleTest; with --fuzz,
# those and clang; with --windows, those and the Windows tools; with
# --package, those and what builds and checks the Debian package.
set -euo pipefail

missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ ! -e /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake ] &&
   [ ! -e /usr/lib/cmake/GTest/GTestConfig.cmake ] &&
   ! ls /usr/lib/*/cmake/GTest/GTestConfig.cmake >/dev/null 2>&1; then
  missing+=(libgtest-dev)
fi
# zlib: the deflate of the zip packages (OpenDocument, DOCX).
[ -e /usr/include/zlib.h ] || missing+=(zlib1g-dev)

if [ "${1:-}" = "" ] || [ "${1:-}" = "--windows" ]; then
  # The Windows programs are cross-built and tested under Wine.
  command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
  [ -e /usr/x86_64-w64-mingw32/include/zlib.h ] || missing+=(libz-mingw-w64-dev)
  [ -x /usr/lib/wine/wine64 ] || missing+=(wine64)
  command -v xvfb-run >/dev/null 2>&1 || missing+=(xvfb xauth)
fi
if [ "${1:-}" = "" ] || [ "${1:-}" = "--package" ]; then
  # The Debian package: its dependencies found, its checker, man and the
  # shells whose completion it brings.
  command -v dpkg-shlibdeps >/dev/null 2>&1 || missing+=(dpkg-dev)
  command -v lintian >/dev/null 2>&1 || missing+=(lintian)
  command -v man >/dev/null 2>&1 || missing+=(man-db)
  command -v zsh >/dev/null 2>&1 || missing+=(zsh)
  command -v unzip >/dev/null 2>&1 || missing+=(unzip)
fi
if [ "${1:-}" != "--build-only" ] && [ "${1:-}" != "--windows" ] && [ "${1:-}" != "--package" ]; then
  command -v clang++-14 >/dev/null 2>&1 || missing+=(clang-14)
  ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    missing+=(libclang-rt-14-dev libfuzzer-14-dev)
fi
if [ "${1:-}" = "" ]; then
  command -v soffice >/dev/null 2>&1 || missing+=(libreoffice-writer-nogui)
  command -v unrtf >/dev/null 2>&1 || missing+=(unrtf)
  command -v wps2text >/dev/null 2>&1 || missing+=(libwps-tools)
  command -v antiword >/dev/null 2>&1 || missing+=(antiword)
  command -v wpd2text >/dev/null 2>&1 || missing+=(libwpd-tools)
  command -v mwaw2text >/dev/null 2>&1 || missing+=(libmwaw-tools)
  # The readers and checkers of the archive targets.
  command -v isutf8 >/dev/null 2>&1 || missing+=(moreutils)
  command -v tidy >/dev/null 2>&1 || missing+=(tidy)
  command -v jing >/dev/null 2>&1 || missing+=(jing)
  command -v pandoc >/dev/null 2>&1 || missing+=(pandoc)
  /usr/bin/python3 -c 'import docx' >/dev/null 2>&1 || missing+=(python3-docx)
  command -v chromium >/dev/null 2>&1 || missing+=(chromium)
  command -v mwaw2odf >/dev/null 2>&1 || missing+=(mwaw2odf)
  # The disk images the image tests build: HFS floppies, hybrid CDs.
  command -v hformat >/dev/null 2>&1 || missing+=(hfsutils)
  command -v genisoimage >/dev/null 2>&1 || missing+=(genisoimage)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  log=$(mktemp)
  if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
           --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
fi
