#!/usr/bin/env bash
# What the progress line costs a batch: plimbrook-convert to-bbd over 10,000 saves of 8 KiB on a
# tmpfs folder, with the progress and summary shown against without, medians of repeated runs.
#
#   bench/progress.sh [--build DIR] [--runs N] [--count N]
#
# Two pairs, their runs alternating: standard error a pipe with and without --progress, and a
# terminal (a pseudo-terminal, through script(1)) where the progress is drawn as a user sees it,
# against -q, which draws nothing. The goal is within 2 %.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build-bench"
runs=20
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
for tool in cmake script python3; do
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

# The two commands of a pair alternate, the first of each round taking turns, so that the load of
# the machine, which drifts, falls on both alike; each run goes into an emptied folder.
say "Timing $runs rounds of four runs each ..."
python3 - "$convert" "$count" "$build_type" "$runs" $saves <<'PY'
import os, shutil, statistics, subprocess, sys, time

convert, count, build_type, runs = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
saves = sys.argv[5:]
out = os.path.abspath("../out")

def batch(*options):
    return [convert, "to-bbd", *options, "-d", out, "--", *saves]

def on_terminal(command):  # script(1) gives the program a pseudo-terminal
    return ["script", "-qec", " ".join(command), "/dev/null"]

pairs = [
    ("Standard error a pipe", ("to-bbd (no progress)", batch()),
     ("to-bbd --progress", batch("--progress"))),
    ("Standard error a terminal, through script(1)", ("to-bbd -q (draws nothing)", batch("-q")),
     ("to-bbd (progress and summary)", batch())),
]

def timed(command):
    shutil.rmtree(out)
    os.mkdir(out)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start

times = {}
for round_ in range(runs + 1):  # the first round warms the caches and is not counted
    for title, *commands in pairs:
        order = commands if round_ % 2 == 0 else commands[::-1]
        for name, command in order:
            if title.startswith("Standard error a terminal"):
                command = on_terminal(command)
            took = timed(command)
            if round_ > 0:
                times.setdefault((title, name), []).append(took)
last = os.path.join(out, f"s{count - 1:05d}.bbd")
if os.path.getsize(last) != 33280:
    sys.exit(f"progress.sh: the batch wrote no {last}")

print(f"Build type {build_type}; {count} saves of 8 KiB on tmpfs; medians of {runs} "
      "alternating runs of each command.\n")
for title, (a, _), (b, _) in pairs:
    ta, tb = statistics.median(times[(title, a)]), statistics.median(times[(title, b)])
    ratio = tb / ta
    print(f"{title}:")
    print(f"  {a}: {ta * 1e3:.1f} ms ({count / ta:,.0f} files/s)")
    print(f"  {b}: {tb * 1e3:.1f} ms ({count / tb:,.0f} files/s)")
    print(f"  ratio {ratio:.3f}   goal <= 1.02: {'met' if ratio <= 1.02 else 'NOT met'}\n")
PY
