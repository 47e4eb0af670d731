#!/usr/bin/env bash
# Builds the fuzz targets of the readers with clang, writes their seeds, and runs each for a
# fixed time, as many at once as there are cores. Any crash, leak, timeout, broken property or
# allocation over the limit fails it.
# Prints, and keeps in BUILD_DIR/executions.txt, how many inputs each target ran.
# Usage: run.sh BUILD_DIR [SECONDS_EACH]   (FUZZ_TARGETS="rzip reading" runs only those)
set -euo pipefail

build=${1:?usage: run.sh BUILD_DIR [SECONDS_EACH]}
seconds=${2:-15}
top=$(cd "$(dirname "$0")/../.." && pwd)
targets=${FUZZ_TARGETS:-rzip retron5 copier_header ufo_sd save_image reading}

cmake -S "$top" -B "$build" -DPLIMBROOK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBROOK_WERROR=ON >/dev/null
cmake --build "$build" --target fuzz_all -j "$(nproc)"
build=$(cd "$build" && pwd)
bin=$build/tests/fuzz

rm -rf "$build/seeds" "$build/found" "$build/artifacts" "$build/logs"
mkdir -p "$build/found" "$build/artifacts" "$build/logs"
"$bin/fuzz_seeds" "$build/seeds"

# No reader needs more than a few MiB at once for files of at most 1 MiB that it reads whole:
# a larger allocation is one a file's own numbers asked for.
limits=(-rss_limit_mb=1024 -malloc_limit_mb=32 -timeout=10 -max_len=140000)
# One target a core at a time; each keeps its log and exit status for the table.
run_target() {
    local target=$1 status=0
    mkdir -p "$build/found/$target"
    "$bin/fuzz_$target" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" \
        "$build/found/$target" "$build/seeds/$target" >"$build/logs/$target.log" 2>&1 || status=$?
    echo "$status" >"$build/logs/$target.status"
}
running=0
for target in $targets; do
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$target" &
    running=$((running + 1))
done
wait

table="$build/executions.txt"
printf '%-14s %12s  %s\n' target executions result >"$table"
failed=0
for target in $targets; do
    log="$build/logs/$target.log"
    status=$(cat "$build/logs/$target.status")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    result=passed
    if [ "$status" -ne 0 ]; then
        result="FAILED (exit $status)"
        failed=1
        echo "== fuzz_$target failed; the end of its log ($log):" >&2
        tail -n 40 "$log" >&2
    fi
    printf '%-14s %12s  %s\n' "$target" "${runs:-?}" "$result" >>"$table"
done
cat "$table"
[ "$failed" -eq 0 ] || echo "inputs that failed: $build/artifacts" >&2
exit "$failed"
