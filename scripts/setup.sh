#!/usr/bin/env bash
# Installs what building, running and testing Plimbrook needs on Debian 12, and nothing twice.
#   setup.sh                                      the project's own packages
#   setup.sh --no-install-recommends PACKAGE...   those packages alone, without what they recommend
set -euo pipefail

apt_options=()
if [ "${1:-}" = --no-install-recommends ]; then
    apt_options=(--no-install-recommends)
    shift
fi
packages=(
    cmake g++ make ninja-build pkgconf
    qt6-base-dev qt6-base-dev-tools
    zlib1g-dev                            # compressed saves from RetroArch
    qt6-svg-dev                           # the about box draws its pictures from SVG
    librsvg2-bin                          # draws the icons from their SVG sources
    fonts-wine fonts-dejavu-core fonts-dejavu-extra  # Tahoma-metric and condensed fonts for the windows
    xvfb xauth xdotool x11-utils          # window tests on a virtual display
    desktop-file-utils appstream          # validate the installed desktop entry and metainfo
    valgrind
    fusefat dosfstools                    # a FAT memory card through FUSE, for the file tests
    dpkg-dev lintian                      # build and check the Debian packages
    bash-completion                       # names the folder the bash completion goes to
    shared-mime-info libglib2.0-bin       # check the MIME types as a desktop reads them
    g++-mingw-w64-x86-64-posix wine64     # build plimbrook-convert.exe and run its tests
    libz-mingw-w64-dev                    # zlib for the Windows build
    nlohmann-json3-dev                    # info --json writes its document with it
    zsh fish                              # shells to test the completions in
    mandoc icoutils                       # the Windows zip's manual; reading the .exe's resources
    clang-14 libclang-rt-14-dev           # libFuzzer and the sanitizers for the readers' fuzz targets
)
[ ${#apt_options[@]} -eq 0 ] || packages=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Plimbrook needs these Debian packages; install them as root and run this again:" >&2
    echo "  apt-get update && apt-get install -y ${apt_options[*]} ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${apt_options[@]}" "${missing[@]}" >/dev/null
