# Shared by the benchmark scripts, sourced from the project root: a release
# build of one target, a work directory removed at exit, and peak memory.

# build_release TARGET
build_release() {
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target "$1" >/dev/null
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# peak_kb COMMAND...: the command's maximum resident set, in KB.
peak_kb() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'
}
