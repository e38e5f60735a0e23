#!/usr/bin/env bash
# The Windows programs under Wine. The command line: a document of every
# real format of the corpus, and a sample, converted by verbatra-cli.exe to
# every target must give the same bytes as the Linux build, and a file
# whose name lies outside the Windows code page converts too. The dialog: a
# driver program works it through window messages as a user would.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target verbatra >/dev/null
linux="$PWD/build/release/verbatra"
windows="$PWD/build/windows/verbatra-cli.exe"

export PATH=/usr/lib/wine:$PATH WINEDEBUG=-all
WINEPREFIX=$(mktemp -d)
export WINEPREFIX
work=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work" "$WINEPREFIX"' EXIT
# The prefix is made under an X server, or Wine records no display
# driver in it and the dialog cannot open.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'wine64 wineboot -i; wineserver -w' >/dev/null 2>&1 || true

# The real documents, where they are (VERBATRA_CORPUS names another
# folder; an empty one stands for a clone without them).
corpus=${VERBATRA_CORPUS:-../shared/corpus}
first_of() { ls "$@" 2>/dev/null | head -1 || true; }
sources=(
  "text:samples/LETTER"
  "text:samples/RECIPE"
  "macwrite:$(first_of "$corpus"/macwrite/*.mw)"
  "clarisworks:$(first_of "$corpus"/clarisworks/*.cwk)"
  "ragtime3:$(first_of "$corpus"/ragtime/*.datafork)"
)
# And every bundled sample of a document, its format recognised.
for sample in samples/*; do
  case $(basename "$sample") in LETTER|RECIPE|*.dsk) continue ;; esac
  sources+=("auto:$sample")
done
failures=0
checked=0

# The zip a Windows user is given: both programs and the short text.
zip_file=$(ls build/windows/verbatra-*-windows.zip 2>/dev/null | head -1 || true)
listing=$(unzip -Z1 "$zip_file" 2>/dev/null || true)
for member in verbatra.exe verbatra-cli.exe README.txt; do
  checked=$((checked + 1))
  if ! printf '%s\n' "$listing" | grep -q "/$member\$"; then
    echo "MISSING: $member in the Windows zip ${zip_file:-(none made)}"
    failures=$((failures + 1))
  fi
done
for entry in "${sources[@]}"; do
  reader=${entry%%:*}
  file=${entry#*:}
  [ -f "$file" ] || continue
  for target in dos ansi word-dos wp5 word-win2 rtf-dos rtf-ansi utf8 html odt docx; do
    rm -rf "$work/l" "$work/w"
    mkdir -p "$work/l" "$work/w"
    cp "$file" "$work/l/DOC"
    cp "$file" "$work/w/DOC"
    (cd "$work/l" && "$linux" --quiet --from "$reader" --to "$target" DOC 2>/dev/null) || true
    (cd "$work/w" && wine64 "$windows" --quiet --from "$reader" --to "$target" DOC >/dev/null 2>&1) || true
    l=$(ls "$work/l" | grep -v '^DOC$' || true)
    w=$(ls "$work/w" | grep -v '^DOC$' || true)
    checked=$((checked + 1))
    if [ -z "$l" ] || [ "$l" != "$w" ] || ! cmp -s "$work/l/$l" "$work/w/$w"; then
      echo "DIFFERENT: $reader -> $target ($(basename "$file")): linux '$l', windows '$w'"
      failures=$((failures + 1))
    fi
  done
done

# A name with letters the Windows code page lacks (Greek, a private-use
# character of the Macintosh set): the program must find, read and name it.
rm -rf "$work/u"
mkdir -p "$work/u"
name=$'\xcf\x80 notes \xef\xa3\xbf'
printf 'Caf\x8e notes\r' > "$work/u/$name"
(cd "$work/u" && wine64 "$windows" --quiet --from text --to ansi "$name" >/dev/null 2>&1) || true
if [ ! -f "$work/u/$name.asc" ] || [ "$(cat "$work/u/$name.asc")" != $'Caf\xe9 notes\r' ]; then
  echo "DIFFERENT: a name outside the Windows code page was not converted: $(ls "$work/u")"
  failures=$((failures + 1))
fi
checked=$((checked + 1))

# A disk image (the MFS floppy of the unit tests): the same files inside,
# under the same names, with the same bytes.
rm -rf "$work/img"
mkdir -p "$work/img/fixtures" "$work/img/l" "$work/img/w"
VERBATRA_KEEP_FIXTURES="$work/img/fixtures" build/debug/tests/verbatra_tests --gtest_filter='DiskImage.Mfs*' >/dev/null 2>&1 || true
image=$(first_of "$work"/img/fixtures/disk-diskcopy-*)
if [ -n "$image" ]; then
  cp "$image" "$work/img/l/old.image"
  cp "$image" "$work/img/w/old.image"
  (cd "$work/img/l" && "$linux" --quiet --from auto --to rtf-ansi -o out old.image 2>/dev/null) || true
  (cd "$work/img/w" && wine64 "$windows" --quiet --from auto --to rtf-ansi -o out old.image >/dev/null 2>&1) || true
  checked=$((checked + 1))
  if [ ! -d "$work/img/l/out/old.image" ] || ! diff -r "$work/img/l/out" "$work/img/w/out" >/dev/null; then
    echo "DIFFERENT: the disk image's files: linux '$(cd "$work/img/l" && find out -type f | sort | tr '\n' ' ')', windows '$(cd "$work/img/w" && find out -type f 2>/dev/null | sort | tr '\n' ' ')'"
    failures=$((failures + 1))
  fi
fi

echo "windows command line under Wine: $checked conversions compared, $failures different"

# The dialog, in a virtual desktop of a headless X server. The Wine
# processes of the command-line runs, which have no display, end first.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
mkdir -p "$work/d"
# The dialog converts a MacWrite document: a real one, else the first
# fixture of the unit tests.
letter=$(first_of "$corpus"/macwrite/*.mw)
if [ -z "$letter" ]; then
  mkdir -p "$work/fixtures"
  VERBATRA_KEEP_FIXTURES="$work/fixtures" build/debug/tests/verbatra_tests --gtest_filter='MacWriteReader.*' >/dev/null 2>&1 || true
  letter=$(first_of "$work"/fixtures/macwrite-1)
fi
cp "$letter" "$work/d/letter.mw"
head -c 100 /dev/zero | tr '\0' 'a' > "$work/d/note.txt"
head -c 250 /dev/zero | tr '\0' 'b' > "$work/d/other.txt"
printf 'Caf\x8e notes' > "$work/d/$(printf '\xcf\x80') notes"
mkdir -p "$work/d/sub" "$work/d/gone"
printf 'deep\r' > "$work/d/sub/deep.txt"
printf 'x' > "$work/d/x.txt1"
dialog_status=0
root=$PWD
(cd "$work/d" && xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
  wine64 reg add 'HKCU\\Software\\Wine\\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine64 reg add 'HKCU\\Software\\Wine\\Explorer\\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  timeout 300 wine64 '$root/build/windows/verbatra.exe' & app=\$!
  wine64 '$root/build/windows/verbatra_dialog_driver.exe'; status=\$?
  wait \$app; app_status=\$?
  echo \"the program ended with status \$app_status\"
  [ \$status -eq 0 ] && [ \$app_status -eq 0 ]") 2>/dev/null || dialog_status=1
# A file that vanishes before its turn: told in the message; the program
# goes on until Exit.
(cd "$work/d" && xvfb-run -a -s "-screen 0 1024x768x24" sh -c "
  timeout 300 wine64 '$root/build/windows/verbatra.exe' & app=\$!
  wine64 '$root/build/windows/verbatra_dialog_driver.exe' vanished; status=\$?
  wait \$app; app_status=\$?
  echo \"the program ended with status \$app_status\"
  [ \$status -eq 0 ] && [ \$app_status -eq 0 ]") 2>/dev/null || dialog_status=1
[ "$dialog_status" -eq 0 ] || echo "the dialog test failed"
# What the dialog wrote is what the Linux command line writes.
mkdir -p "$work/dl"
cp "$work/d/letter.mw" "$work/dl/letter.mw"
(cd "$work/dl" && "$linux" --quiet --from macwrite --to rtf-ansi letter.mw 2>/dev/null) || true
if ! cmp -s "$work/d/letter.rtf" "$work/dl/letter.rtf"; then
  echo "DIFFERENT: the dialog's letter.rtf is not the Linux command line's"
  dialog_status=1
fi
[ "$failures" -eq 0 ] && [ "$dialog_status" -eq 0 ]
