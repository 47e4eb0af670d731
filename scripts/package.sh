#!/usr/bin/env bash
# Builds the Debian package plimbrook_<version>_amd64.deb in out/package, with Debian's own
# compiler and linker hardening flags, and prints its path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
dir="$top/out/package"
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
"$top/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
rm -f "$dir"/plimbrook_*.deb
(cd "$dir" && cpack --config CPackConfig.cmake >/dev/null)
ls "$dir"/plimbrook_*_amd64.deb
