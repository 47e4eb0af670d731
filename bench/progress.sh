#!/usr/bin/env bash
# What the progress line costs a batch: plimbrook-convert to-bbd over 10,000 saves of 8 KiB on a
# tmpfs folder, with the progress and summary shown against without, medians of hyperfine runs.
#
#   bench/progress.sh [--build DIR] [--runs N] [--count N]
#
# Two pairs, each timed in one hyperfine run, alternating: standard error a pipe with and
# without --progress, and a terminal (a pseudo-terminal, through script(1)) where the progress
# is drawn as a user sees it, against -q, which draws nothing. The goal is within 2 %.
# Installs hyperfine when run as root.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build-bench"
runs=15
count=10000

while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$(realpath -m "$2"); shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --count) count=$2; shift 2 ;;
        -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "progress.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

say() { printf '%s\n' "$*" >&2; }
"$repo/scripts/setup.sh"
if ! command -v hyperfine >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y -qq hyperfine >/dev/null
    else
        say "progress.sh: install hyperfine as root first"
        exit 1
    fi
fi
for tool in cmake hyperfine script python3; do
    command -v "$tool" >/dev/null || { say "progress.sh: $tool is needed"; exit 1; }
done

say "Building plimbrook-convert in $build ..."
cmake -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j2 --target plimbrook-convert stuff_dat >/dev/null
convert="$build/bin/plimbrook-convert"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")

work=$(mktemp -d /dev/shm/plimbrook-progress.XXXXXX)
trap 'cd /; rm -rf "$work"' EXIT
[ "$(stat -f -c %T "$work")" = tmpfs ] || { say "progress.sh: $work is not on tmpfs"; exit 1; }

say "Making $count saves ..."
mkdir -p "$work/saves" "$work/out"
head -c $((count * 8192)) /dev/urandom >"$work/all"
(cd "$work/saves" && split -b 8192 -a 5 -d --additional-suffix=.srm ../all s)
rm "$work/all"
cd "$work/saves"
saves=$(echo *.srm)
results="$work/results"
mkdir -p "$results"

# -N: no shell around the programs, so only they are timed; each run into an emptied folder.
pair() {  # name, then two commands
    local name=$1
    shift
    hyperfine -N --style none --warmup 2 --runs "$runs" --export-json "$results/$name.json" \
        --prepare "find ../out -mindepth 1 -delete" "$@" >/dev/null
}

say "Timing with standard error a pipe ..."
pair pipe \
    -n "to-bbd -d ../out (no progress)" "$convert to-bbd -d ../out $saves" \
    -n "to-bbd --progress -d ../out" "$convert to-bbd --progress -d ../out $saves"

say "Timing with standard error a terminal ..."
pair terminal \
    -n "script: to-bbd -q -d ../out (draws nothing)" \
    "script -qec '$convert to-bbd -q -d ../out $saves' /dev/null" \
    -n "script: to-bbd -d ../out (progress and summary)" \
    "script -qec '$convert to-bbd -d ../out $saves' /dev/null"
last="../out/s$(printf '%05d' $((count - 1))).bbd"
[ "$(stat -c %s "$last" 2>/dev/null)" = 33280 ] || { say "progress.sh: the batch wrote no $last"; exit 1; }

python3 - "$results" "$count" "$build_type" "$runs" <<'PY'
import json, os, statistics, sys

results, count, build_type, runs = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
print(f"Build type {build_type}; {count} saves of 8 KiB on tmpfs; medians of {runs} "
      "hyperfine -N runs, each pair timed in one run.\n")
for name, title in (("pipe", "Standard error a pipe"), ("terminal", "Standard error a terminal")):
    (a, ta), (b, tb) = [(r["command"], statistics.median(r["times"]))
                        for r in json.load(open(os.path.join(results, name + ".json")))["results"]]
    ratio = tb / ta
    print(f"{title}:")
    print(f"  {a}: {ta * 1e3:.1f} ms ({count / ta:,.0f} files/s)")
    print(f"  {b}: {tb * 1e3:.1f} ms ({count / tb:,.0f} files/s)")
    print(f"  ratio {ratio:.3f}   goal <= 1.02: {'met' if ratio <= 1.02 else 'NOT met'}\n")
PY
