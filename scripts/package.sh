#!/usr/bin/env bash
# package.sh [DIR [CMAKE_ARGUMENT...]]: builds the two Debian packages,
# plimbrook-convert_<version>_amd64.deb and plimbrook_<version>_amd64.deb, in DIR (out/package by
# default) with Debian's own compiler and linker hardening flags, and prints their paths, the
# command line's first.
# Two builds of one commit give the same bytes, whichever folder they are built in: every time in
# the archives is the commit's, and no path of the build is left in the programs.
# The tests build beside the programs with -DBUILD_TESTING=ON; they leave the packages' bytes
# as they are (scripts/test.sh tests them in such a build, and checks that).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh" >&2
dir=$(realpath -m "${1:-$top/out/package}")
shift || true
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null || stat -c %Y "$top/VERSION")
fi
# The source and the build folder are named as "." and "build" in what the compiler writes
# (assertions' file names, debug information); the later mapping is tried first.
prefix_maps="-ffile-prefix-map=$top=. -ffile-prefix-map=$dir=build"
# The packages hold stripped programs, so the build writes no debug information (-g0 after
# Debian's -g): it would only cost time. The hardening flags are Debian's as they stand.
# Standard output is for the packages' paths alone; what the build says goes to standard error.
# Qt's resource compiler dates each file it builds into the window program: one fixed date, not
# the commit's, so that a build made before the last commit and not redone gives the same bytes.
env -u SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE=1 \
    "$top/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) -g0 $(dpkg-buildflags --get CPPFLAGS) $prefix_maps" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" "$@" >&2
rm -f "$dir"/plimbrook_*.deb "$dir"/plimbrook-convert_*.deb
# CPack dates every file and member of the archives with the commit.
(cd "$dir" && SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH cpack --config CPackConfig.cmake \
    >/dev/null 2>"$dir/cpack.log") || { cat "$dir/cpack.log" >&2; exit 1; }
ls "$dir"/plimbrook-convert_*_amd64.deb "$dir"/plimbrook_*_amd64.deb
