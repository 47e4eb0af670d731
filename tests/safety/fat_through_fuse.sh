#!/usr/bin/env bash
# plimbrook-convert on a real FAT file system through FUSE (fusefat), the ground of copier users'
# memory cards: names that differ only in case are one file, and there is neither a rename that
# refuses a taken name nor a second name for a file, nor a file without a name.
# Checks: two outputs, or an output and an input, that differ only in case are refused, with or
# without --force; a new output is put in place by claiming its name first; a replaced file holds
# the new contents only; a batch killed outright leaves at most 16 temporaries, and the next run
# removes them; nothing else is left behind.
# Usage: fat_through_fuse.sh PATH/TO/plimbrook-convert   (exit 77: skipped, FUSE or a tool missing)
set -euo pipefail

program=$(realpath "${1:?usage: fat_through_fuse.sh PATH/TO/plimbrook-convert}")
for tool in fusefat fusermount mkfs.vfat cmp; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed" >&2
        exit 77
    fi
done
[ -c /dev/fuse ] || { echo "SKIP: no /dev/fuse" >&2; exit 77; }

work=$(mktemp -d)
card="$work/card"
mounted=0
cleanup() {
    cd /
    [ "$mounted" = 1 ] && fusermount -u "$card" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    ls -laR "$card" >&2 || true
    exit 1
}

mkdir "$card"
truncate -s 32M "$work/card.img"
mkfs.vfat "$work/card.img" >/dev/null
if ! fusefat -o rw+ "$work/card.img" "$card" >/dev/null 2>&1 || ! mountpoint -q "$card"; then
    echo "SKIP: FUSE cannot be mounted here" >&2
    exit 77
fi
mounted=1
cd "$card"
mkdir a c o3 out
head -c 8192 /dev/urandom >a/G.srm
head -c 8192 /dev/urandom >c/g.srm
run() {  # expected status, expected standard error, arguments...
    local status=$1 err=$2
    shift 2
    local got=0
    "$program" "$@" 2>"$work/err" || got=$?
    [ "$got" = "$status" ] || fail "$*: exit status $got, not $status"
    [ "$(cat "$work/err")" = "$err" ] || fail "$*: said '$(cat "$work/err")', not '$err'"
}

# G.srm and g.srm make one output here; the second is refused, even with --force.
for force in --force ""; do
    rm -f out/*
    run 1 "plimbrook-convert: out/g.bbd: also the output of an earlier file of this batch, a/G.srm" \
        to-bbd $force --output-dir out a/G.srm c/g.srm
    [ "$(ls out)" = G.bbd ] || fail "out holds $(ls out)"
done
"$program" to-srm --output o3/g.srm out/G.bbd
cmp -s o3/g.srm a/G.srm || fail "the round trip changed the save"
cp out/G.bbd o3/g.bbd
# The input under another case is the input itself here.
run 1 "plimbrook-convert: o3/G.BBD: the output would be the input itself" \
    to-srm --force --output o3/G.BBD o3/g.bbd
cmp -s o3/g.bbd out/G.bbd || fail "the input was changed"

# A new output takes its name by claiming it: a taken one is refused, a free one is made whole.
run 0 "" to-bbd --output out/NEW.bbd a/G.srm
cmp -s out/NEW.bbd out/G.bbd || fail "the claimed output is not the conversion"
run 1 "plimbrook-convert: out/NEW.bbd: File exists (use --force to replace it)" \
    to-bbd --output out/NEW.bbd c/g.srm
cmp -s out/NEW.bbd out/G.bbd || fail "a refused output changed the file"

# Replaced, a longer file holds the new contents and nothing more.
head -c 40000 /dev/urandom >out/LONG.bbd
run 0 "" to-bbd --force --output out/LONG.bbd a/G.srm
cmp -s out/LONG.bbd out/G.bbd || fail "the replaced file kept more than the new contents"

# A batch killed outright leaves at most 16 named temporaries, which the next run removes.
mkdir many
for i in $(seq -w 1 60); do head -c 8192 /dev/urandom >"many/s$i.srm"; done
"$program" to-bbd --output-dir out -- many/*.srm &
victim=$!
for _ in $(seq 200); do
    [ "$(ls -A out | grep -c '^\.s.*\.plimbrook-' || true)" -gt 0 ] && break
    sleep 0.01
done
kill -9 "$victim" 2>/dev/null || true
wait "$victim" 2>/dev/null || true
left=$(ls -A out | grep -c '\.plimbrook-' || true)
[ "$left" -le 16 ] || fail "a killed batch left $left temporaries"
run 0 "" to-bbd --output out/LATER.bbd c/g.srm
left=$(ls -A out | grep -c '\.plimbrook-' || true)
[ "$left" = 0 ] || fail "the next run left $left temporaries of the killed one"
echo "PASS: FAT through FUSE"
