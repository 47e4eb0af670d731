#!/usr/bin/env bash
# Runs the test executables of the core, faces, window-commands and safety rooms under
# valgrind's memcheck and fails on any error it reports, in the test itself or in a child it forks.
# Usage: valgrind_core.sh BUILD_DIR   (a normal build; sanitizer builds cannot run here)
set -euo pipefail

build=${1:?usage: valgrind_core.sh BUILD_DIR}
build=$(cd "$build" && pwd)
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
if grep -q '^PLIMBROOK_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "$build is a sanitizer build; memcheck needs a normal one" >&2
    exit 1
fi

executables=()
for room in core faces window_commands safety; do
    [ -d "$build/tests/$room" ] || continue
    while read -r name; do
        # Script tests (the crash test) have no executable of their own.
        [ -x "$build/bin/$name" ] && executables+=("$build/bin/$name")
    done < <(ctest --test-dir "$build/tests/$room" -N | sed -n 's/^ *Test *#[0-9]*: *//p')
done
if [ ${#executables[@]} -eq 0 ]; then
    echo "no test executables found under $build/tests" >&2
    exit 1
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# memcheck runs one program on one core: as many at once as there are cores.
check() {
    local executable=$1 name status=0
    name=$(basename "$executable")
    # Qt's glib event loop keeps per-thread state that only other threads point to; a forked
    # child has lost those threads, so memcheck would call that state leaked. The plain Unix
    # event loop keeps it reachable. PCRE2's JIT, behind the tests' QDir name filters, writes
    # machine code that memcheck cannot follow and reports as reading uninitialised memory.
    # QtTest's watchdog thread may still be ending at exit, its stack only "possibly lost";
    # leaks count as errors when they are definite.
    QT_NO_GLIB=1 QT_ENABLE_REGEXP_JIT=0 QT_QPA_PLATFORM=offscreen valgrind --tool=memcheck \
        --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --track-origins=yes --trace-children=no \
        "$executable" >"$logs/$name.log" 2>&1 || status=$?
    echo "$status" >"$logs/$name.status"
}
running=0
for executable in "${executables[@]}"; do
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    check "$executable" &
    running=$((running + 1))
done
wait

failed=0
for executable in "${executables[@]}"; do
    name=$(basename "$executable")
    log="$logs/$name.log"
    echo "== memcheck: $name"
    if [ "$(cat "$logs/$name.status")" -ne 0 ]; then
        echo "!! $name failed under memcheck" >&2
        failed=1
    fi
    # A forked child reports its own summary; its exit status does not reach ctest.
    if grep -E 'ERROR SUMMARY: [1-9]' "$log" >/dev/null; then
        echo "!! memcheck found errors in $name" >&2
        failed=1
    fi
    if [ "$failed" -ne 0 ]; then
        cat "$log" >&2
        break
    fi
    grep -E '^(Totals|QINFO)' "$log" || true
    echo "   $(grep -c 'ERROR SUMMARY: 0 errors' "$log") process(es), no memcheck errors"
done
exit "$failed"
