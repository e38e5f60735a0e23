#!/usr/bin/env bash
# Builds the release configuration and converts the bundled sample
# documents to "Ascii (DOS)" and "Ansi (Windows)". The samples are copied
# first, so the results land in build/samples-out/Ascii and .../Ansi, not in
# samples/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --build-only
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target verbatra
# Both text targets use the extension "asc", so each gets its own copy.
out=build/samples-out
rm -rf "$out"
bin="$PWD/build/release/verbatra"
for target in "Ascii (DOS)" "Ansi (Windows)"; do
  dir="$out/${target%% *}"
  mkdir -p "$dir"
  cp samples/* "$dir"/
  echo "== $target, in $dir"
  (cd "$dir" && "$bin" --from "Texte seul" --to "$target" $(ls))
done
