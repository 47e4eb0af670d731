#!/usr/bin/env bash
# resource_check.sh EXE VERSION: what Windows reads of plimbrook-convert.exe before it runs it,
# read back with wrestool (icoutils) as a PE reader: a version resource that names the product,
# its version, maker and licence, and the manifest that asks for UTF-8 as the code page, for long
# paths and for the versions of Windows the program supports. Exit 77: wrestool is missing.
set -euo pipefail
exe=${1:?usage: resource_check.sh EXE VERSION}
version=${2:?usage: resource_check.sh EXE VERSION}
command -v wrestool >/dev/null || { echo "SKIP: wrestool (icoutils) is not installed" >&2; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrestool -x --raw --type=16 --name=1 "$exe" >"$work/version" || fail "no version resource"
wrestool -x --raw --type=24 --name=1 "$exe" >"$work/manifest" || fail "no manifest"
[ -s "$work/version" ] || fail "no version resource"
[ -s "$work/manifest" ] || fail "no manifest"

# The strings of the version resource are UTF-16 pairs of a name and its value.
strings -a -n 1 -el "$work/version" >"$work/strings"
value() { grep -A1 -x "$1" "$work/strings" | sed -n 2p; }
for pair in "CompanyName=Wexmoor-Soft" "ProductName=Plimbrook" "ProductVersion=$version" \
    "FileVersion=$version" "OriginalFilename=plimbrook-convert.exe" "License=MIT"; do
    got=$(value "${pair%%=*}")
    [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is '$got', not '${pair#*=}'"
done
value LegalCopyright | grep -q "Wexmoor-Soft.*MIT" || fail "LegalCopyright names no maker or licence"

# The numbers Explorer shows: after the fixed part's signature BD 04 EF FE and its own version,
# the file version as major << 16 | minor, then patch << 16.
IFS=. read -r major minor patch <<<"$version"
fixed=$(od -An -v -tx1 "$work/version" | tr -d ' \n' | grep -o 'bd04effe.\{40\}') ||
    fail "no fixed version information"
printf -v expected '%04x%04x%04x%04x' "$minor" "$major" 0 "$patch"
little_endian=${fixed:16:16}
swapped=${little_endian:2:2}${little_endian:0:2}${little_endian:6:2}${little_endian:4:2}
swapped+=${little_endian:10:2}${little_endian:8:2}${little_endian:14:2}${little_endian:12:2}
[ "$swapped" = "$expected" ] || fail "the file version numbers are not $version"
echo "ok: version resource $version by Wexmoor-Soft, MIT licence"

tr -d '\r' <"$work/manifest" >"$work/manifest.xml"
for line in '<activeCodePage [^>]*>UTF-8</activeCodePage>' \
    '<longPathAware [^>]*>true</longPathAware>' \
    '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' \
    '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>' \
    '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>' \
    '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' \
    '<requestedExecutionLevel level="asInvoker"'; do
    grep -q "$line" "$work/manifest.xml" || fail "the manifest lacks $line"
done
echo "ok: manifest with UTF-8 as the code page, long paths, Windows 7 to 11"
