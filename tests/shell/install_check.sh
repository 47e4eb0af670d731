#!/usr/bin/env bash
# install_check.sh BUILD_DIR ID: installs the build into a scratch DESTDIR and checks what a
# desktop gets: the program beside its template, the link in bin/, a valid desktop entry and
# metainfo, the icons. Where Xvfb is at hand it also starts the program through bin/ and looks
# for its window, then once more without the template, where only the critical message may show.
set -euo pipefail
build=$1
id=$2

scratch=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$scratch/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
usr=$root/usr

private=$usr/libexec/plimbrook
[ -x "$private/plimbrook" ] || fail "no program in libexec/plimbrook"
[ -f "$private/Stuff.dat" ] || fail "no Stuff.dat beside the program"
[ "$(stat -c %s "$private/Stuff.dat")" -eq 512 ] || fail "Stuff.dat is not 512 bytes"
[ -L "$usr/bin/plimbrook" ] || fail "bin/plimbrook is not a link"
case "$(readlink "$usr/bin/plimbrook")" in
    /*) fail "bin/plimbrook links to an absolute path" ;;
esac
[ "$(readlink -f "$usr/bin/plimbrook")" = "$(readlink -f "$private/plimbrook")" ] ||
    fail "bin/plimbrook does not lead to the program"

desktop=$usr/share/applications/$id.desktop
metainfo=$usr/share/metainfo/$id.metainfo.xml
[ -f "$desktop" ] || fail "no $id.desktop"
[ -f "$metainfo" ] || fail "no $id.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry names another icon"
grep -qx "Exec=plimbrook %F" "$desktop" || fail "the desktop entry passes no files"
grep -qx "MimeType=application/x-swc-bbd;application/x-snes-sram;application/x-pro-fighter-save;application/x-super-ufo-save;application/x-game-doctor-save;" "$desktop" ||
    fail "the desktop entry offers the program for other files"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo launches another desktop entry"

# PNG width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $3*256+$4 "x" $7*256+$8}'; }

# The description names each copier's files and the command line; the screenshots are those of
# docs/screenshots, a default one first, each at the size the metainfo gives.
for word in .bbd .sav .ufo .gd3 RetroArch plimbrook-convert; do
    sed -n '/<description>/,/<\/description>/p' "$metainfo" | grep -qF "$word" ||
        fail "the metainfo's description does not mention $word"
done
screenshots=$(cd "$(dirname "$0")/../../docs/screenshots" && pwd)
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no default screenshot"
images=$(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">[^<]*/\([^/<]*\)</image>.*|\1x\2 \3|p' "$metainfo")
[ "$(grep -c . <<<"$images")" -ge 2 ] || fail "the metainfo lists fewer than two screenshots"
while read -r size name; do
    [ -f "$screenshots/$name" ] || fail "the metainfo's screenshot $name is not in docs/screenshots"
    [ "$(png_size "$screenshots/$name")" = "$size" ] || fail "$name is not $size"
done <<<"$images"
for size in 16 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $(png_size "$icon")"
done
[ -f "$usr/share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
echo "layout, desktop entry, metainfo and icons: ok"

# The MIME types as a desktop would read them from this prefix: the database built there, asked
# through GIO with the prefix first in the data path.
if command -v update-mime-database >/dev/null && command -v gio >/dev/null; then
    [ -f "$usr/share/mime/packages/$id.xml" ] || fail "no MIME definition"
    update-mime-database "$usr/share/mime" || fail "update-mime-database"
    samples=$scratch/samples
    mkdir "$samples"
    printf '\0\0\0\0\0\0\0\0\xaa\xbb\x05' >"$samples/copier-file"
    head -c 1000 /dev/zero >>"$samples/copier-file"
    head -c 1000 /dev/zero >"$samples/GAME.BBD"
    head -c 8192 /dev/zero >"$samples/game.srm"
    # A Pro Fighter save's header, a 4 and then zero bytes, wins over the statistics files'
    # *.sav; a .sav without it stays theirs.
    { printf '\4'; head -c $((511 + 8192)) /dev/zero; } >"$samples/GAME.SAV"
    { printf '$FL2'; head -c 1000 /dev/zero; } >"$samples/statistics.sav"
    { head -c 8 /dev/zero; printf 'SUPERUFO'; head -c $((496 + 8192)) /dev/zero; } >"$samples/ufo-file"
    head -c 1000 /dev/zero >"$samples/game.ufo"
    head -c 32768 /dev/zero >"$samples/game.gd3"
    for pair in copier-file=application/x-swc-bbd GAME.BBD=application/x-swc-bbd \
        game.srm=application/x-snes-sram GAME.SAV=application/x-pro-fighter-save \
        statistics.sav=application/x-spss-sav ufo-file=application/x-super-ufo-save \
        game.ufo=application/x-super-ufo-save game.gd3=application/x-game-doctor-save; do
        got=$(XDG_DATA_DIRS="$usr/share:/usr/share" gio info -a standard::content-type \
            "$samples/${pair%%=*}" | sed -n 's/.*content-type: //p')
        [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is $got, not ${pair#*=}"
    done
    echo "MIME types: ok"
else
    echo "update-mime-database or gio missing: the MIME types were not checked"
fi

if ! command -v Xvfb >/dev/null || ! command -v xwininfo >/dev/null; then
    echo "Xvfb or xwininfo missing: the program was not started"
    exit 0
fi
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$scratch/display")"
unset QT_QPA_PLATFORM
. "$(dirname "$0")/../support/private_session.sh"
private_session "$scratch/session"

# Starts bin/plimbrook and waits up to ten seconds for a top-level window titled $1. With $2
# "closed" the program starts without standard error, and with all of Qt's debug output on.
# With "closed", standard error is closed; with "file", a save is named on the command line.
shows_window() {
    if [ "${2:-}" = closed ]; then
        QT_LOGGING_RULES='qt.*.debug=true' "$usr/bin/plimbrook" >/dev/null 2>&- &
    elif [ "${2:-}" = file ]; then
        "$usr/bin/plimbrook" "$scratch/samples/game.srm" >/dev/null 2>&1 &
    else
        "$usr/bin/plimbrook" >/dev/null 2>&1 &
    fi
    app_pid=$!
    local seen=1 window
    icons=
    for _ in $(seq 100); do
        window=$(xwininfo -root -children 2>/dev/null | grep -F "\"$1" | awk '{print $1; exit}')
        if [ -n "$window" ]; then
            seen=0
            # The main window's icon at the sizes that a task switcher gets, given with its title.
            for _ in $(seq 20); do
                [ "$1" = "Plimbrook (v" ] || break
                icons=$(xprop -len 100000000 -id "$window" _NET_WM_ICON 2>/dev/null |
                    grep -o 'Icon ([0-9]* x [0-9]*)' | tr -dc '0-9x\n' | tr '\n' ' ' || true)
                [ -n "$icons" ] && break
                sleep 0.1
            done
            break
        fi
        sleep 0.1
    done
    titles=$(xwininfo -root -children 2>/dev/null | grep -o '"[^"]*"' | sort -u | tr '\n' ' ')
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
    return $seen
}

shows_window "Plimbrook (v" || fail "started through bin/, the main window never showed (saw: $titles)"
case "$titles" in *Dornquist*) fail "the template was reported missing" ;; esac
[ "$icons" = "16x16 32x32 48x48 64x64 128x128 256x256 " ] ||
    fail "the main window's icon has the sizes $icons, not all those installed"
echo "started through bin/: the main window shows, with its icon at every installed size"

# Else the display connection would take descriptor 2 and every diagnostic would go into it.
shows_window "Plimbrook (v" closed ||
    fail "started with standard error closed, the main window never showed (saw: $titles)"
echo "started with standard error closed: the main window shows"

# As the desktop's "Open with" starts it: straight to the save prompt, with no open prompt.
mkdir -p "$scratch/samples"
head -c 8192 /dev/zero >"$scratch/samples/game.srm"
shows_window "Save BBD File" file || fail "a save named on the command line got no save prompt (saw: $titles)"
case "$titles" in *"Open SRAM File"*) fail "a save named on the command line was asked for again" ;; esac
echo "a save named on the command line: straight to the save prompt"

rm "$private/Stuff.dat"
shows_window "Dornquist" || fail "without Stuff.dat no critical message showed (saw: $titles)"
case "$titles" in *"Plimbrook (v"*) fail "the main window showed without its template" ;; esac
echo "without Stuff.dat: only the critical message shows"
