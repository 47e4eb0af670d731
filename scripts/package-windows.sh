#!/usr/bin/env bash
# Builds plimbrook-convert for Windows in out/windows-package and the zip a Windows user
# unpacks: plimbrook-convert.exe (statically linked, with its version resource and manifest),
# Stuff.dat, the manual plimbrook-convert.html, README.txt (the README's Windows section) and
# LICENSE.txt. Prints the zip's path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
dir="$top/out/windows-package"
"$top/scripts/build.sh" "$dir" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
rm -f "$dir"/plimbrook-convert-*-windows-x64.zip
(cd "$dir" && cpack --config CPackConfig.cmake >/dev/null)
ls "$dir"/plimbrook-convert-*-windows-x64.zip
