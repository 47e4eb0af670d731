#!/usr/bin/env bash
# Benchmark of the page: its transfer size gzipped, the time from opening the single file in
# headless Chromium to a page ready for a drop, and 1,000 saves dropped at once, converted and
# zipped, against plimbrook-convert on the same batch on tmpfs. Prints medians of one run.
#
#   bench/web.sh [--runs N] [--batch-runs N] [--native PROGRAM]
#
# Builds the page with scripts/build-web.sh (which installs what it needs when run as root) and
# plimbrook-convert in out/normal unless given one.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=21
batch_runs=7
native=""
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=$2; shift 2 ;;
        --batch-runs) batch_runs=$2; shift 2 ;;
        --native) native=$(realpath "$2"); shift 2 ;;
        -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "web.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

"$repo/scripts/build-web.sh" >/dev/null
if [ -z "$native" ]; then
    "$repo/scripts/setup.sh"
    cmake -S "$repo" -B "$repo/out/normal" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$repo/out/normal" -j2 --target plimbrook-convert stuff_dat >/dev/null
    native=$repo/out/normal/bin/plimbrook-convert
fi
# tmpfs, so that neither side waits for a disk.
work=$(mktemp -d /dev/shm/plimbrook-web-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$repo/web"
node "$repo/bench/web_page.mjs" --runs "$runs" --batch-runs "$batch_runs" --native "$native" \
    --work "$work"
