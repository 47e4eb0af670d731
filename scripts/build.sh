#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds Plimbrook in DIR.
set -euo pipefail
dir=$1
shift
top=$(cd "$(dirname "$0")/.." && pwd)
# Ninja keeps both cores busy across targets, where make waits for each library in turn.
command -v ninja >/dev/null && export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBROOK_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
