#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: in the build the Debian packages are
# made from (Debian's flags), in one with AddressSanitizer and UndefinedBehaviorSanitizer, the
# core tests under valgrind, the readers under libFuzzer, the two Debian packages installed, used
# and removed again and built once more without the tests to the same bytes, the Windows build
# under wine64, and the page built with emscripten, in Node and headless Chromium.
# Each stage says how long it took, so that the whole stays within CI's time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export QT_QPA_PLATFORM=offscreen

started=$SECONDS
stage() {
    echo "   ($((SECONDS - started)) s)"
    started=$SECONDS
    echo "== $*"
}

echo "== installing what is missing"
"$top/scripts/setup.sh"
# What the page needs comes over the network, and apt may run only once at a time: it is fetched
# and installed while the first builds keep the processor busy, and waited for before the package
# check needs apt.
mkdir -p "$top/out"
"$top/scripts/build-web.sh" --fetch-only >"$top/out/web-fetch.log" 2>&1 &
web_fetch=$!

# The tests run on the very programs the packages hold: one build serves both.
release=$top/out/package
stage "release build with Debian's flags and the tests; the Debian packages made from it"
built=$("$top/scripts/package.sh" "$release" -DBUILD_TESTING=ON)
mapfile -t debs <<<"$built"
(cd "$release" && ctest --output-on-failure -j 2)

stage "core and command tests under valgrind memcheck"
"$top/tests/safety/valgrind_core.sh" "$release"

stage "AddressSanitizer and UndefinedBehaviorSanitizer build"
# Unoptimised and with line tables only: the sanitizers find the same faults and name the
# lines, and the tree builds in less time. clang builds it in two thirds of GCC's time, and
# brings a second compiler's warnings.
CXX=clang++-14 "$top/scripts/build.sh" "$top/out/sanitize" -DPLIMBROOK_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1
(cd "$top/out/sanitize" && ctest --output-on-failure -j 2)

stage "fuzzing the readers (libFuzzer, clang): each target for a fixed time"
"$top/tests/fuzz/run.sh" "$top/out/fuzz" 5

stage "Debian packages: checked by lintian, each installed, used and removed; meanwhile built again from scratch in another folder, without the tests, to the same bytes"
wait "$web_fetch" || { cat "$top/out/web-fetch.log"; exit 1; }
# The check mostly waits on apt and dpkg, so the second build goes on beside it.
"$top/tests/dist/package_check.sh" "${debs[@]}" >"$top/out/package-check.log" 2>&1 &
check=$!
rm -rf "$top/out/package-again"
built=$("$top/scripts/package.sh" "$top/out/package-again")
mapfile -t again <<<"$built"
status=0
wait "$check" || status=$?
cat "$top/out/package-check.log"
[ "$status" -eq 0 ] || [ "$status" -eq 77 ]  # 77: skipped, as when not run as root
"$top/tests/dist/reproducible_check.sh" "$top" "${debs[@]}" -- "${again[@]}"

stage "Windows build (MinGW-w64): its tests, the command-line rows and the same bytes, under wine64"
"$top/scripts/build.sh" "$top/out/windows" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPLIMBROOK_HOST_BUILD="$release"
(cd "$top/out/windows" && ctest --output-on-failure -j 2)
stage "web page (emscripten): the core's tables under Node, the page in headless Chromium"
"$top/scripts/build-web.sh" >/dev/null
(cd "$top/out/web/build" && ctest --output-on-failure -j 2)
(cd "$top/web" && PLIMBROOK_CONVERT="$release/bin/plimbrook-convert" node --test --test-concurrency=2 tests/*.test.mjs)
stage "all passed"
