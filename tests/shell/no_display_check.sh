#!/usr/bin/env bash
# no_display_check.sh PROGRAM: with no display at all the program must say so in one line on
# stderr and fail, rather than abort inside Qt.
set -uo pipefail
err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" 2>&1 >/dev/null)
status=$?
[ "$status" -ne 0 ] || { echo "FAIL: exit status 0"; exit 1; }
[ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || { echo "FAIL: not one line: $err"; exit 1; }
printf '%s\n' "$err" | grep -q "no display" || { echo "FAIL: unclear message: $err"; exit 1; }
echo "one line, exit status $status: $err"
