#!/usr/bin/env bash
# reproducible_check.sh SOURCE_DIR DEB... -- DEB...: the packages of two builds of one commit,
# made in two different folders, are the same to the byte, and none of their files names the
# folder the source or a build was in. Where they differ it names the files that do.
# Each DEB is taken to lie in the folder it was built in, as scripts/package.sh leaves it.
set -euo pipefail
source_dir=$(realpath "${1:?usage: reproducible_check.sh SOURCE_DIR DEB... -- DEB...}")
shift
first=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do first+=("$1"); shift; done
[ $# -gt 0 ] && shift
second=("$@")
[ "${#first[@]}" -gt 0 ] && [ "${#first[@]}" -eq "${#second[@]}" ] ||
    { echo "FAIL: not the same number of packages from both builds" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for i in "${!first[@]}"; do
    a=${first[$i]} b=${second[$i]}
    name=$(basename "$a")
    [ "$name" = "$(basename "$b")" ] || { echo "FAIL: $name beside $(basename "$b")" >&2; exit 1; }
    mkdir -p "$work/$i/a" "$work/$i/b"
    dpkg-deb -R "$a" "$work/$i/a"
    dpkg-deb -R "$b" "$work/$i/b"
    if ! cmp -s "$a" "$b"; then
        echo "FAIL: $name differs between the builds; in it:" >&2
        diff -rq "$work/$i/a" "$work/$i/b" >&2 || true
        [ "$(dpkg-deb -c "$a")" = "$(dpkg-deb -c "$b")" ] || echo "  the archive listing (sizes, times, order)" >&2
        status=1
    fi
    # Each package lies in the folder it was built in (scripts/package.sh).
    folders=(-e "$source_dir" -e "$(dirname "$(realpath "$a")")" -e "$(dirname "$(realpath "$b")")")
    if grep -rlaF "${folders[@]}" "$work/$i/a" "$work/$i/b" >"$work/named"; then
        echo "FAIL: $name names the source or build folder in:" >&2
        sed "s|^$work/$i/./|  |" "$work/named" >&2
        status=1
    fi
    [ "$status" -eq 0 ] && echo "ok: $name is the same from both builds ($(stat -c %s "$a") bytes)"
done
exit "$status"
