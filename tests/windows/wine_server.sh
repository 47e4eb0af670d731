#!/usr/bin/env bash
# wine_server.sh start WINESERVER PREFIX EMULATOR... | stop WINESERVER PREFIX: one wine server
# for the prefix while the tests run. A server left to itself quits a few seconds after its
# last program ends, and a program started just as it quits dies with "wine client error" in
# place of its own output; the tests start hundreds of programs one after another, so now and
# then one met that.
set -euo pipefail
action=$1 server=$2
export WINEPREFIX=$3
shift 3

case $action in
start)
    # Status 2: a server is still there, the one that made the prefix or one that a killed run
    # left behind. None of its programs are the tests', so it is stopped and a new one started.
    for _ in 1 2 3 4 5; do
        status=0
        "$server" -p </dev/null >/dev/null 2>&1 || status=$?
        if [ "$status" -eq 0 ]; then
            # Wine's own services start with the server's first program and stay with the
            # server, holding that program's output open: let them hold nothing of a test's.
            "$@" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
            exit 0
        fi
        [ "$status" -eq 2 ] || break
        "$server" -k </dev/null >/dev/null 2>&1 || true
        "$server" -w </dev/null >/dev/null 2>&1 || true
    done
    echo "FAIL: $server -p could not start a server for $WINEPREFIX (status $status)" >&2
    exit 1
    ;;
stop)
    "$server" -k </dev/null >/dev/null 2>&1 || true  # none running is fine: nothing to stop
    ;;
*)
    echo "usage: $0 start WINESERVER PREFIX EMULATOR... | stop WINESERVER PREFIX" >&2
    exit 2
    ;;
esac
