#!/usr/bin/env bash
# package_check.sh CONVERT_DEB WINDOW_DEB: checks the two Debian packages as a user gets them.
# lintian finds no error in either. plimbrook-convert is installed with apt on its own: it brings
# no Qt, its program converts a save there and back, and purging it leaves nothing. plimbrook is
# installed from a local repository holding both, as a user's apt would: it pulls
# plimbrook-convert in, its window shows, the desktop knows the MIME types, and purging both
# leaves nothing.
# Needs root (it installs the packages on this machine); exit 77 when it cannot run.
set -euo pipefail
usage="usage: package_check.sh PATH/TO/plimbrook-convert_VERSION_amd64.deb PATH/TO/plimbrook_VERSION_amd64.deb"
convert_deb=$(realpath "${1:?$usage}")
window_deb=$(realpath "${2:?$usage}")
packages=(plimbrook plimbrook-convert)
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root" >&2
    exit 77
fi
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
for package in "${packages[@]}"; do
    if installed "$package"; then
        echo "SKIP: $package is already installed on this machine; not touching it" >&2
        exit 77
    fi
done

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    for package in "${packages[@]}"; do
        if installed "$package"; then
            DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null 2>&1 || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Another apt at work on the machine is waited for a while.
apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log" >&2; return 1; }
}
content_type() { gio info -a standard::content-type "$1" | sed -n 's/.*content-type: //p'; }
# Nothing of the package may be left on the disk: neither its files nor its folders of its own.
purged() {
    local path
    for path in "$@"; do
        [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after removal"
    done
}

echo "== lintian"
# Errors fail the check; warnings and notes are printed for the record.
for deb in "$convert_deb" "$window_deb"; do
    lintian --fail-on error --info "$deb" 2>&1 | grep -v 'running with root privileges' || true
    lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors in $deb"
done

echo "== plimbrook-convert alone, installed with apt"
dpkg-deb -f "$convert_deb" Depends | grep -qi 'qt' && fail "plimbrook-convert depends on Qt"
apt_get install "$convert_deb" || fail "apt-get install plimbrook-convert"
installed plimbrook || [ -e /usr/bin/plimbrook ] && fail "the window program came with plimbrook-convert"
[ -x /usr/bin/plimbrook-convert ] || fail "plimbrook-convert missing from /usr/bin"
[ -f /usr/libexec/plimbrook/Stuff.dat ] || fail "no Stuff.dat beside the program"
libraries=$(ldd /usr/libexec/plimbrook/plimbrook-convert)
grep -qi 'libQt' <<<"$libraries" && fail "plimbrook-convert loads Qt"
grep -q 'libstdc++\.so' <<<"$libraries" || fail "plimbrook-convert does not use the shared libstdc++"
zcat /usr/share/man/man1/plimbrook-convert.1.gz | grep -q '^\.TH PLIMBROOK-CONVERT' ||
    fail "the man page is not installed compressed"
grep -q 'Expat\|MIT' /usr/share/doc/plimbrook-convert/copyright || fail "no licence in the copyright file"
# Shell completions, once the package has them, lie where each shell looks.
bash_completions=$(pkg-config --variable=completionsdir bash-completion)
for path in $(dpkg -L plimbrook-convert | grep -i 'complet'); do
    [ -f "$path" ] || continue
    case "$path" in
        "$bash_completions/plimbrook-convert" | /usr/share/zsh/vendor-completions/_plimbrook-convert | \
            /usr/share/fish/vendor_completions.d/plimbrook-convert.fish) ;;
        *) fail "a completion where no shell looks: $path" ;;
    esac
done

/usr/bin/plimbrook-convert --version | head -n 1 | grep -qx "plimbrook-convert (Plimbrook) [0-9.]*" || fail "--version"
head -c 8192 /dev/urandom >"$work/game.srm"
(cd "$work" && /usr/bin/plimbrook-convert to-bbd --comment "From the package" -- game.srm) ||
    fail "to-bbd"
[ "$(stat -c %s "$work/game.bbd")" -eq 33280 ] || fail "the BBD file is not 33,280 bytes"
cmp -s <(head -c 16 /usr/libexec/plimbrook/Stuff.dat) <(head -c 16 "$work/game.bbd") ||
    fail "the header does not come from the installed template"
mv "$work/game.srm" "$work/original.srm"
(cd "$work" && /usr/bin/plimbrook-convert to-srm -- game.bbd) || fail "to-srm"
cmp "$work/game.srm" "$work/original.srm" || fail "the save did not survive the round trip"
echo "ok: no Qt, the shared libstdc++; --version, and a save through to-bbd and to-srm is byte-identical"

apt_get purge plimbrook-convert || fail "apt-get purge plimbrook-convert"
purged /usr/bin/plimbrook-convert /usr/libexec/plimbrook /usr/share/doc/plimbrook-convert \
    /usr/share/man/man1/plimbrook-convert.1.gz
echo "ok: purged, nothing left behind"

echo "== plimbrook from a repository: it pulls plimbrook-convert in"
# A flat repository of the two packages, read by an apt of its own: the machine's sources and
# lists stay as they are. What plimbrook needs besides is installed already (scripts/setup.sh).
mkdir -p "$work/repo" "$work/lists/partial" "$work/cache/archives/partial" "$work/parts"
cp "$convert_deb" "$window_deb" "$work/repo/"
(cd "$work/repo" && dpkg-scanpackages --multiversion . >Packages 2>/dev/null)
echo "deb [trusted=yes] file:$work/repo ./" >"$work/sources.list"
local_apt=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
apt_get "${local_apt[@]}" update || fail "apt-get update of the local repository"
apt_get "${local_apt[@]}" install plimbrook || fail "apt-get install plimbrook"
installed plimbrook-convert || fail "plimbrook did not pull plimbrook-convert in"
[ -x /usr/bin/plimbrook ] && [ -x /usr/bin/plimbrook-convert ] || fail "programs missing from /usr/bin"
grep -q 'Expat\|MIT' /usr/share/doc/plimbrook/copyright || fail "no licence in the copyright file"
zcat /usr/share/man/man1/plimbrook.1.gz | grep -q '^\.TH PLIMBROOK' || fail "no man page"
echo "ok: installed together"

echo "== the MIME types, as the desktop's database now has them"
printf '\0\0\0\0\0\0\0\0\xaa\xbb\x05' >"$work/no-extension"
head -c 1000 /dev/zero >>"$work/no-extension"
# A Pro Fighter save: a 4, then zero bytes to the end of the 512-byte header, then the save.
{ printf '\4'; head -c 511 /dev/zero; head -c 32768 /dev/urandom; } >"$work/fig.sav"
{ printf '$FL2'; head -c 1000 /dev/urandom; } >"$work/statistics.sav"
{ head -c 8 /dev/zero; printf 'SUPERUFO'; head -c $((496 + 32768)) /dev/zero; } >"$work/ufo-no-extension"
head -c 32768 /dev/urandom >"$work/game.gd3"
for pair in game.bbd=application/x-swc-bbd no-extension=application/x-swc-bbd \
    original.srm=application/x-snes-sram fig.sav=application/x-pro-fighter-save \
    statistics.sav=application/x-spss-sav ufo-no-extension=application/x-super-ufo-save \
    game.gd3=application/x-game-doctor-save; do
    got=$(content_type "$work/${pair%%=*}")
    [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is $got, not ${pair#*=}"
done
echo "ok: BBD, SRAM, Pro Fighter (over the statistics files' *.sav), Super UFO and Game Doctor"

echo "== the installed window program"
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
    Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    display=":$(head -n1 "$work/display")"
    (
        . "$(dirname "$0")/../support/private_session.sh"
        private_session "$work/session"
        unset QT_QPA_PLATFORM
        DISPLAY=$display exec /usr/bin/plimbrook
    ) >"$work/app.log" 2>&1 &
    app_pid=$!
    shown=
    for _ in $(seq 100); do
        if xwininfo -display "$display" -root -children 2>/dev/null | grep -qF '"Plimbrook (v'; then
            shown=1
            break
        fi
        sleep 0.1
    done
    [ -n "$shown" ] || { cat "$work/app.log" >&2; fail "the installed program showed no window"; }
    kill "$app_pid" "$xvfb_pid"
    wait "$app_pid" "$xvfb_pid" 2>/dev/null || true
    app_pid=
    xvfb_pid=
    echo "ok: /usr/bin/plimbrook shows its main window"
else
    echo "Xvfb or xwininfo missing: the window program was not started"
fi

echo "== remove with apt"
apt_get purge plimbrook || fail "apt-get purge plimbrook"
installed plimbrook-convert || fail "purging the window program took plimbrook-convert too"
purged /usr/bin/plimbrook /usr/libexec/plimbrook/plimbrook \
    /usr/share/applications/org.example.Plimbrook.desktop /usr/share/doc/plimbrook
[ "$(content_type "$work/no-extension")" = application/x-swc-bbd ] &&
    fail "the MIME type outlived the package"
apt_get purge plimbrook-convert || fail "apt-get purge plimbrook-convert"
purged /usr/bin/plimbrook-convert /usr/libexec/plimbrook /usr/share/doc/plimbrook-convert
echo "ok: removed one after the other, nothing left behind"
