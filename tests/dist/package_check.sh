#!/usr/bin/env bash
# package_check.sh DEB: checks the Debian package as a user gets it: lintian finds no error, apt
# installs it, the installed plimbrook-convert converts a save there and back, the installed
# window program shows its window, the desktop knows the MIME types, and apt removes it all again.
# Needs root (it installs the package on this machine); exit 77 when it cannot run.
set -euo pipefail
deb=$(realpath "${1:?usage: package_check.sh PATH/TO/plimbrook_VERSION_amd64.deb}")
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root" >&2
    exit 77
fi
if dpkg-query -W -f='${Status}' plimbrook 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIP: plimbrook is already installed on this machine; not touching it" >&2
    exit 77
fi

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    if dpkg-query -W -f='${Status}' plimbrook 2>/dev/null | grep -q "ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq plimbrook >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== lintian"
# Errors fail the check; warnings and notes are printed for the record.
lintian --fail-on error --info "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

echo "== install with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install"
[ -x /usr/bin/plimbrook ] && [ -x /usr/bin/plimbrook-convert ] || fail "programs missing from /usr/bin"
[ -f /usr/libexec/plimbrook/Stuff.dat ] || fail "no Stuff.dat beside the programs"
zcat /usr/share/man/man1/plimbrook-convert.1.gz | grep -q '^\.TH PLIMBROOK-CONVERT' ||
    fail "the man page is not installed compressed"
grep -q 'Expat\|MIT' /usr/share/doc/plimbrook/copyright || fail "no licence in the copyright file"

echo "== the installed plimbrook-convert"
/usr/bin/plimbrook-convert --version | head -n 1 | grep -qx "plimbrook-convert (Plimbrook) [0-9.]*" || fail "--version"
head -c 8192 /dev/urandom >"$work/game.srm"
(cd "$work" && /usr/bin/plimbrook-convert to-bbd --comment "From the package" -- game.srm) ||
    fail "to-bbd"
[ "$(stat -c %s "$work/game.bbd")" -eq 33280 ] || fail "the BBD file is not 33,280 bytes"
cmp -s <(head -c 512 /usr/libexec/plimbrook/Stuff.dat | head -c 16) <(head -c 16 "$work/game.bbd") ||
    fail "the header does not come from the installed template"
mv "$work/game.srm" "$work/original.srm"
(cd "$work" && /usr/bin/plimbrook-convert to-srm -- game.bbd) || fail "to-srm"
cmp "$work/game.srm" "$work/original.srm" || fail "the save did not survive the round trip"
echo "ok: --version, and a save through to-bbd and to-srm is byte-identical"

echo "== the MIME types, as the desktop's database now has them"
printf '\0\0\0\0\0\0\0\0\xaa\xbb\x05' >"$work/no-extension"
head -c 1000 /dev/zero >>"$work/no-extension"
for pair in game.bbd=application/x-swc-bbd no-extension=application/x-swc-bbd \
    original.srm=application/x-snes-sram; do
    got=$(gio info -a standard::content-type "$work/${pair%%=*}" | sed -n 's/.*content-type: //p')
    [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is $got, not ${pair#*=}"
done
echo "ok: *.bbd and the header's magic give application/x-swc-bbd, *.srm application/x-snes-sram"

echo "== the installed window program"
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
    Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$work/display")" HOME="$work"
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
    /usr/bin/plimbrook >"$work/app.log" 2>&1 &
    app_pid=$!
    shown=
    for _ in $(seq 100); do
        if xwininfo -root -children 2>/dev/null | grep -qF '"Plimbrook (v'; then shown=1; break; fi
        sleep 0.1
    done
    [ -n "$shown" ] || { cat "$work/app.log" >&2; fail "the installed program showed no window"; }
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=
    echo "ok: /usr/bin/plimbrook shows its main window"
else
    echo "Xvfb or xwininfo missing: the window program was not started"
fi

echo "== remove with apt"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq plimbrook >/dev/null || fail "apt-get purge"
for path in /usr/bin/plimbrook /usr/bin/plimbrook-convert /usr/libexec/plimbrook \
    /usr/share/applications/org.example.Plimbrook.desktop /usr/share/doc/plimbrook; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after removal"
done
gio info -a standard::content-type "$work/no-extension" | grep -q x-swc-bbd &&
    fail "the MIME type outlived the package"
echo "ok: removed, nothing left behind"
