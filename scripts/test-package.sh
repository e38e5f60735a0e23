#!/usr/bin/env bash
# The program as a user installs it. `cmake --install` into a scratch
# prefix puts every file where it belongs; the Debian package passes
# lintian with no error, installs, has its manual page found by man, runs
# as the version it carries, completes the formats in bash and zsh, and
# removes cleanly. Installing needs root: run as root, or with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, says WHAT when it fails
  local what=$1
  shift
  if ! "$@" >/dev/null 2>&1; then
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

# From source: cmake --install under a prefix of our own.
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target verbatra manual_page >/dev/null
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/release --prefix "$prefix" >/dev/null
for file in bin/verbatra share/man/man1/verbatra.1.gz share/bash-completion/completions/verbatra \
            share/zsh/site-functions/_verbatra share/doc/verbatra/README.md share/doc/verbatra/LICENSE; do
  check "cmake --install puts $file under the prefix" test -f "$prefix/$file"
done
check "man finds the installed page under the prefix" env MANPATH="$prefix/share/man" man -w verbatra
check "the manual page has no formatting errors" \
  sh -c "[ -z \"\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l '$prefix/share/man/man1/verbatra.1.gz' 2>&1 >/dev/null)\" ]"

# The Debian package.
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)" >/dev/null
(cd build/package && rm -f verbatra_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/package/verbatra_*.deb)
version=$(dpkg-deb -f "$deb" Version)
if ! lintian --allow-root --fail-on error "$deb"; then
  echo "FAILED: lintian reports errors in $deb"
  failures=$((failures + 1))
fi
if dpkg -s verbatra >/dev/null 2>&1; then
  echo "verbatra is installed on this machine already: the package is not tried over it"
  exit 1
fi
# A container may leave manual pages out of every package: not ours.
$sudo dpkg --path-include='/usr/share/man/*' --path-include='/usr/share/doc/verbatra/*' -i "$deb" >/dev/null
trap '$sudo dpkg -r verbatra >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
check "man -w verbatra finds the page the package installed" man -w verbatra
check "the installed program says the package's version $version" \
  sh -c "[ \"\$(/usr/bin/verbatra --version)\" = 'Verbatra $version' ]"
check "bash completes --to od with odt" bash -c '
  source /usr/share/bash-completion/completions/verbatra
  COMP_WORDS=(verbatra --to od); COMP_CWORD=2; _verbatra
  [ "${COMPREPLY[*]}" = odt ]'
if command -v zsh >/dev/null 2>&1; then
  check "zsh completes the source formats" zsh -c '
    _call_program() { shift; "$@"; }; _describe() { print -l ${(P)4}; }; _arguments() { :; }
    words=(verbatra); source /usr/share/zsh/vendor-completions/_verbatra
    [[ "$(_verbatra_formats from | tr "\n" " ")" == "auto text macwrite "* ]]'
fi
sample=$(mktemp -d)
cp samples/LETTER "$sample/"
check "the installed program converts a sample" /usr/bin/verbatra --from auto --to odt "$sample/LETTER"
check "  ... into an OpenDocument file" test -s "$sample/LETTER.odt"
rm -rf "$sample"
$sudo dpkg -r verbatra >/dev/null
for file in /usr/bin/verbatra /usr/share/man/man1/verbatra.1.gz /usr/share/doc/verbatra \
            /usr/share/bash-completion/completions/verbatra /usr/share/zsh/vendor-completions/_verbatra; do
  check "dpkg -r removes $file" test ! -e "$file"
done
check "dpkg no longer knows the package" sh -c '! dpkg -s verbatra'

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "package $deb: installs, runs as $version, removes cleanly; cmake --install places every file"
