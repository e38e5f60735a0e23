#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: a C++20
# compiler, CMake and GoogleTest. Does nothing when they are already there.
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

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
