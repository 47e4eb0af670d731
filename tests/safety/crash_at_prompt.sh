#!/usr/bin/env bash
# Drives the real program on a private X server: SRAM -> BBD over an existing file, and at the
# comment prompt the program is killed outright, then terminated, then loses its display. The
# existing file must be exactly as it was each time, and no temporary may be left; only SIGKILL
# may leave one, and only on a file system that cannot hold the new contents unnamed.
# Then the same run is left to finish, and the file must be the complete BBD layout; ended with
# Ctrl+X, the program must have written nothing into the empty home it was given.
# Usage: crash_at_prompt.sh PATH/TO/plimbrook   (exit 77: skipped, a tool is missing)
set -euo pipefail

program=$(realpath "${1:?usage: crash_at_prompt.sh PATH/TO/plimbrook}")
template="$(dirname "$program")/Stuff.dat"
for tool in Xvfb xdotool cmp; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed" >&2
        exit 77
    fi
done
[ -f "$template" ] || { echo "no header template beside $program" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill -9 "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    ls -la "$work/saves" >&2 || true
    [ -f "$work/app.log" ] && sed 's/^/  program: /' "$work/app.log" >&2
    exit 1
}

# A display of our own, on a number the server picks itself.
start_display() {
    rm -f "$work/display"
    exec 3>"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$work/display")"
    # A server started right after another on the same number may take a moment to answer.
    for _ in $(seq 50); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "Xvfb on $DISPLAY does not answer"
}
start_display
export QT_QPA_PLATFORM=xcb
# An empty home, and no session bus that could write into it.
. "$(dirname "$0")/../support/private_session.sh"
private_session "$work"
export XDG_CONFIG_HOME="$HOME/.config"

# The visible window whose title is exactly $1, waited for at most $2 seconds.
wait_window() {
    local title=$1 limit=$2 id
    for _ in $(seq $((limit * 10))); do
        id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1 || true)
        if [ -n "$id" ]; then
            # Let the dialog finish setting itself up before keys arrive.
            sleep 0.3
            xdotool windowfocus --sync "$id" 2>/dev/null || true
            echo "$id"
            return 0
        fi
        kill -0 "$app_pid" 2>/dev/null || fail "the program ended while waiting for \"$title\""
        sleep 0.1
    done
    fail "no window \"$title\" within $limit s"
}

enter_path() {
    xdotool key ctrl+a
    xdotool type --delay 10 "$1"
    xdotool key Return
}

mkdir "$work/saves"
save="$work/saves/game.srm"
target="$work/saves/kept.bbd"
head -c 8192 /dev/urandom >"$save"
# Shorter than a BBD file, so a finished run leaves exactly the 33,280-byte layout.
head -c 5000 /dev/urandom >"$target"
cp "$target" "$work/kept.before"

comment="Crash test comment"
{
    head -c 16 "$template"
    printf '%-77s' "$comment"
    tail -c +94 "$template" | head -c 419
    for _ in 1 2 3 4; do cat "$save"; done
} >"$work/expected.bbd"
[ "$(stat -c %s "$work/expected.bbd")" -eq 33280 ] || fail "expected file is not 33,280 bytes"

# Starts the program and takes it to the comment prompt, the BBD body already written.
to_comment_prompt() {
    "$program" >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_window 'Plimbrook \(v[0-9.]*\)' 30 >/dev/null
    xdotool key ctrl+F2
    wait_window 'Open SRAM File' 20 >/dev/null
    enter_path "$save"
    wait_window 'Save BBD File' 20 >/dev/null
    enter_path "$target"
    # Qt's dialog asks before replacing a file; its Yes answers to "y". A slow start (a loaded
    # machine, a sanitizer build) must not be mistaken for no question.
    for _ in $(seq 200); do
        if xdotool search --onlyvisible --name '^Enter Comment$' >/dev/null 2>&1; then
            break
        fi
        if [ "$(xdotool search --onlyvisible --name '^Save BBD File$' 2>/dev/null | wc -l)" -ge 2 ]; then
            sleep 0.3
            xdotool key y
            break
        fi
        kill -0 "$app_pid" 2>/dev/null || fail "the program ended before the comment prompt"
        sleep 0.1
    done
    wait_window 'Enter Comment' 20 >/dev/null
}

strays() { find "$work/saves" -maxdepth 1 -name '*.plimbrook-*' | wc -l; }
# Files the program holds open in the folder that have no name there: "FOLDER/#INODE (deleted)".
unnamed() {
    local count=0 fd
    for fd in /proc/"$app_pid"/fd/*; do
        case "$(readlink "$fd" 2>/dev/null)" in
            "$work/saves/#"*" (deleted)") count=$((count + 1)) ;;
        esac
    done
    echo "$count"
}

echo "== killed at the comment prompt"
to_comment_prompt
cmp "$target" "$work/kept.before" || fail "the file changed before the comment was given"
held_unnamed=$(unnamed)
case "$held_unnamed/$(strays)" in
    1/0) echo "ok: the new contents are held in a file with no name yet" ;;
    0/1) echo "note: this file system cannot hold them unnamed; a hidden temporary is used" ;;
    *) fail "the new contents are not being written beside the file" ;;
esac
kill -9 "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=
cmp "$target" "$work/kept.before" || fail "the existing file changed after SIGKILL"
echo "ok: the existing file is byte-identical after SIGKILL"
if [ "$held_unnamed" -eq 1 ]; then
    [ "$(strays)" -eq 0 ] || fail "SIGKILL left a temporary file"
    echo "ok: and nothing is left beside it"
else
    # Nothing can clean up after SIGKILL; the temporary file it leaves is marked as one.
    echo "note: $(strays) temporary file(s) left beside it, named *.plimbrook-*"
    find "$work/saves" -maxdepth 1 -name '*.plimbrook-*' -delete
fi

echo "== ended by SIGTERM at the comment prompt, as at a logout"
to_comment_prompt
kill -TERM "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=
cmp "$target" "$work/kept.before" || fail "the existing file changed after SIGTERM"
[ "$(strays)" -eq 0 ] || fail "SIGTERM left a temporary file"
echo "ok: the existing file is byte-identical after SIGTERM, and no temporary is left"

echo "== display lost at the comment prompt"
to_comment_prompt
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
# A sanitizer build checks its heap for leaks on the way out, which takes a while.
for _ in $(seq 300); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the program outlived its display"
wait "$app_pid" 2>/dev/null || true
app_pid=
cmp "$target" "$work/kept.before" || fail "the existing file changed when the display went"
[ "$(strays)" -eq 0 ] || fail "losing the display left a temporary file"
echo "ok: the existing file is byte-identical after the display went, and no temporary is left"
start_display

echo "== left to finish"
to_comment_prompt
enter_path "$comment"
wait_window 'Dornquist' 20 >/dev/null
cmp "$target" "$work/expected.bbd" || fail "the finished file is not the complete BBD layout"
[ "$(strays)" -eq 0 ] || fail "a temporary file was left after a completed run"
echo "ok: the file is the complete 33,280-byte BBD layout"
xdotool key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Dornquist$' >/dev/null 2>&1 || break
    sleep 0.1
done

echo "== ended as a user ends it"
wait_window 'Plimbrook \(v[0-9.]*\)' 20 >/dev/null
xdotool key ctrl+x
for _ in $(seq 300); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "Ctrl+X did not end the program"
wait "$app_pid" 2>/dev/null || true
app_pid=
# The program keeps no settings: its home is as empty as it was given.
left=$(find "$HOME" -mindepth 1 -not -type d)
[ -z "$left" ] || fail "the program wrote into its home: $left"
echo "ok: nothing written but the file chosen"
