#!/usr/bin/env bash
# same_bytes_check.sh LINUX_BUILD WINDOWS_BUILD EMULATOR...: the Linux tool and the .exe under
# wine make the same bytes of the same save, there and back, from the same Stuff.dat; and the
# .exe needs no DLL that Windows itself does not have.
set -euo pipefail
linux=${1:?usage: same_bytes_check.sh LINUX_BUILD WINDOWS_BUILD EMULATOR...}
windows=${2:?}
shift 2
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmp "$linux/bin/Stuff.dat" "$windows/bin/Stuff.dat" || fail "the two builds made different Stuff.dat"

imports=$(x86_64-w64-mingw32-objdump -p "$windows/bin/plimbrook-convert.exe" | sed -n 's/^\tDLL Name: //p')
for dll in $imports; do
    case "${dll,,}" in
        kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll) ;;
        *) fail "plimbrook-convert.exe needs $dll" ;;
    esac
done

mkdir -p "$work/saves" "$work/linux" "$work/windows" "$work/linux-back" "$work/windows-back"
# Two saves: an 8 KiB one and a short one that the layout fills up, with a name in UTF-8.
head -c 8192 /dev/urandom >"$work/saves/Zelda ß 日本.srm"
head -c 1000 /dev/urandom >"$work/saves/short.srm"
comment="Same bytes: é and € in Windows-1252"
cd "$work"
"$linux/bin/plimbrook-convert" to-bbd --comment "$comment" --output-dir linux -- saves/*.srm
"${emulator[@]}" "$windows/bin/plimbrook-convert.exe" to-bbd --comment "$comment" --output-dir windows 'saves/*.srm'
"$linux/bin/plimbrook-convert" to-srm --output-dir linux-back -- linux/*.bbd
"${emulator[@]}" "$windows/bin/plimbrook-convert.exe" to-srm --output-dir windows-back 'windows/*.bbd'
for ours in linux linux-back; do
    theirs=windows${ours#linux}
    diff -r "$ours" "$theirs" >/dev/null || fail "$ours and $theirs differ"
    [ "$(ls "$ours" | wc -l)" -eq 2 ] || fail "$ours does not hold both files"
done
echo "the same bytes from both: $(cd linux && ls | tr '\n' ' ')"
