#!/usr/bin/env bash
# same_bytes_check.sh LINUX_BUILD WINDOWS_BUILD EMULATOR...: the Linux tool and the .exe under
# wine make the same bytes from the same saves, there and back, with the same Stuff.dat; and the
# .exe needs no DLL but Windows's own.
set -euo pipefail
linux=$1 windows=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmp "$linux/bin/Stuff.dat" "$windows/bin/Stuff.dat" || fail "the builds made different Stuff.dat"
x86_64-w64-mingw32-objdump -p "$windows/bin/plimbrook-convert.exe" | sed -n 's/^\tDLL Name: //p' |
    grep -viE '^(kernel32|msvcrt)\.dll$' && fail "plimbrook-convert.exe needs the DLLs above"

cd "$work"
mkdir saves linux windows linux-back windows-back
head -c 8192 /dev/urandom >"saves/Zelda ß 日本.srm"
head -c 1000 /dev/urandom >saves/short.srm  # filled up by the layout
comment="Same bytes: é and € in Windows-1252"
"$linux/bin/plimbrook-convert" to-bbd --comment "$comment" --output-dir linux -- saves/*.srm
"$@" "$windows/bin/plimbrook-convert.exe" to-bbd --comment "$comment" --output-dir windows 'saves/*.srm'
"$linux/bin/plimbrook-convert" to-srm --output-dir linux-back -- linux/*.bbd
"$@" "$windows/bin/plimbrook-convert.exe" to-srm --output-dir windows-back 'windows/*.bbd'
[ "$(ls linux | wc -l)" -eq 2 ] && [ "$(ls linux-back | wc -l)" -eq 2 ] || fail "files missing"
diff -r linux windows && diff -r linux-back windows-back || fail "the two tools' files differ"
echo "the same bytes from both: $(ls linux | tr '\n' ' ')"
