#!/usr/bin/env bash
# Installs what is missing, builds, and starts Plimbrook.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/out/normal" -DBUILD_TESTING=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Plimbrook is built ($top/out/normal/bin/plimbrook) but there is no display to show it on: set DISPLAY or WAYLAND_DISPLAY." >&2
    exit 1
fi
exec "$top/out/normal/bin/plimbrook"
