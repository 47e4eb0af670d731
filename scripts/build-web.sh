#!/usr/bin/env bash
# build-web.sh: installs what the page needs and builds it: out/web/plimbrook.html, one
# self-contained file to open from disk, and out/web/site/, the same page as a static folder.
# The core's tables for Node are built beside it, in out/web/build.
#   build-web.sh --fetch-only   installs and fetches what the build needs, and builds nothing
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/out/web

# Debian's emscripten and Chromium beside the machine's own Node.js and npm; Debian's nodejs
# and npm would conflict with those.
"$top/scripts/setup.sh" --no-install-recommends emscripten chromium cmake make dpkg-dev
for tool in node npm; do
    command -v "$tool" >/dev/null || { echo "build-web.sh needs Node.js 18 or later and npm" >&2; exit 1; }
done

# Debian's emscripten runs its JavaScript tools with the modules Debian packages for them,
# which only Debian's own Node.js looks for by itself.
export NODE_PATH=/usr/share/nodejs

# The zip writer and the page tests' browser driver, as package-lock.json pins them.
(cd "$top/web" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

# zlib's source from Debian, of the version the native programs link, fetched through an apt
# configuration of our own so that the system's sources stay as they are.
zlib_source() {
    local apt=$out/apt version
    version=$(dpkg-query -W -f='${source:Version}' "zlib1g:$(dpkg --print-architecture)")
    if [ "$(cat "$out/zlib/version" 2>/dev/null)" != "$version" ]; then
        rm -rf "$apt" "$out/zlib"
        mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial" "$out/zlib"
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
                >"$apt/parts/debian.sources"
        fi
        if [ -f /etc/apt/sources.list ]; then
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt/parts/debian.list"
        fi
        printf '%s\n' "Dir::Etc::SourceList \"/dev/null\";" "Dir::Etc::SourceParts \"$apt/parts\";" \
            "Dir::State::Lists \"$apt/lists\";" "Dir::Cache \"$apt/cache\";" \
            "APT::Sandbox::User \"root\";" >"$apt/apt.conf"
        APT_CONFIG=$apt/apt.conf apt-get update -qq >&2
        # Where the mirror no longer has that version's source, the release's own will do: the
        # same-bytes tests say whether it deflates alike.
        (cd "$out/zlib" && { APT_CONFIG=$apt/apt.conf apt-get source -qq "zlib=$version" ||
            APT_CONFIG=$apt/apt.conf apt-get source -qq zlib; } >/dev/null)
        echo "$version" >"$out/zlib/version"
    fi
    find "$out/zlib" -mindepth 2 -maxdepth 2 -name zlib.h -printf '%h\n' | head -n 1
}
zlib=$(zlib_source)
[ "${1:-}" = --fetch-only ] && exit 0

emcmake cmake -S "$top/web" -B "$out/build" -DCMAKE_BUILD_TYPE=Release \
    -DZLIB_SOURCE_DIR="$zlib" -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" >/dev/null
cmake --build "$out/build" -j "$(nproc)"

node "$top/web/tools/assemble.mjs" "$out/build" "$out"
echo "$out/plimbrook.html"
