#!/usr/bin/env bash
# unpacked_check.sh BUILD_DIR WINE_PREFIX EMULATOR...: the Windows build installed as its zip is
# unpacked, and used there under wine as a Windows user would: the files a user finds, the
# README's example run as it is written from a Command Prompt in that folder, "/?" for the help,
# and a start by a double-click (a console of its own and no arguments), which shows the help
# until a key is pressed, where a start from a Command Prompt ends at once.
set -euo pipefail
build=$(realpath "${1:?usage: unpacked_check.sh BUILD_DIR WINE_PREFIX EMULATOR...}")
prefix=$(realpath "$2")
shift 2
emulator=("$@")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
saves="$prefix/drive_c/Saves"
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    rm -rf "$work" "$saves"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

folder="$work/plimbrook-convert"
cmake --install "$build" --prefix "$folder" >/dev/null
[ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = \
    "LICENSE.txt README.txt Stuff.dat plimbrook-convert.exe plimbrook-convert.html " ] ||
    fail "the folder holds $(cd "$folder" && ls | tr '\n' ' ')"
cmp -s "$folder/LICENSE.txt" "$source_dir/LICENSE" || fail "LICENSE.txt is not the licence"
grep -q '<title>PLIMBROOK-CONVERT(1)</title>' "$folder/plimbrook-convert.html" ||
    fail "the manual is not the man page"
for option in to-bbd to-srm info comment --output-dir --format; do
    grep -qF -- "$option" "$folder/plimbrook-convert.html" || fail "the manual lacks $option"
done
[ "$(grep -c '^## ' "$folder/README.txt")" -eq 1 ] && grep -qx '## On Windows' "$folder/README.txt" ||
    fail "README.txt is not the README's section on Windows alone"
echo "ok: the program, Stuff.dat, the manual, the README's Windows section and the licence"

run() { (cd "$folder" && "${emulator[@]}" "$@"); }

echo "== the README's example, run as written from a Command Prompt in the unpacked folder"
example=$(sed -n '/^```bat$/,/^```$/p' "$folder/README.txt" | sed '1d;$d')
[ "$(wc -l <<<"$example")" -eq 1 ] || fail "the README's example is not one line"
case "$example" in
    '.\plimbrook-convert.exe '*) ;;
    *) fail "the README's example does not start the program in the folder: $example" ;;
esac
mkdir -p "$saves/bbd"
head -c 8192 /dev/urandom >"$saves/first.srm"
head -c 8192 /dev/urandom >"$saves/second.srm"
set -f  # the words of the example are handed to cmd.exe as they are, * included
# shellcheck disable=SC2086
run cmd.exe /c $example || fail "the README's example failed: $example"
set +f
for name in first second; do
    [ "$(stat -c %s "$saves/bbd/$name.bbd")" -eq 33280 ] || fail "no bbd/$name.bbd from the example"
done
echo "ok: $example"

echo "== /? asks for the help"
help=$(run plimbrook-convert.exe --help)
[ -n "$help" ] || fail "--help printed nothing"
for row in "/?=--help" "to-bbd /?=to-bbd --help"; do
    # shellcheck disable=SC2086
    [ "$(run plimbrook-convert.exe ${row%%=*})" = "$(run plimbrook-convert.exe ${row#*=})" ] ||
        fail "'${row%%=*}' does not print what '${row#*=}' does"
done
status=0
run plimbrook-convert.exe to-bbd -- '/?' 2>"$work/err" || status=$?
[ "$status" -eq 1 ] && grep -qF '/?: No such file' "$work/err" || fail "after --, /? is not a file name"
echo "ok: /? and to-bbd /? print the help; after --, /? is a file name"

# The program on a terminal of its own, which wine turns into its console; $1 names what to
# start: the program alone, or through cmd.exe as a Command Prompt starts it.
start_on_console() {
    local command
    printf -v command '%q ' "${emulator[@]}" "$@"
    mkfifo "$work/keys"
    (cd "$folder" && exec script -qfec "$command" /dev/null <"$work/keys" >"$work/screen") &
    program_pid=$!
    exec 4>"$work/keys"
}
# What the console shows, with the terminal's controls taken out and spaces not counted.
screen() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$work/screen" | tr -d ' \r'; }
ended_within() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$program_pid" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

echo "== a double-click: the help, until a key is pressed"
start_on_console plimbrook-convert.exe
for _ in $(seq 300); do
    screen | grep -q 'Pressanykeytoclosethiswindow' && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
screen | grep -q 'Pressanykeytoclosethiswindow' || fail "it does not ask for a key: $(screen)"
screen | grep -q 'Usage:plimbrook-convertto-bbd' || fail "it shows no help: $(screen)"
ended_within 1 && fail "it did not wait for the key"
printf 'x' >&4
ended_within 20 || fail "a key did not end it"
status=0
wait "$program_pid" || status=$?
program_pid=
exec 4>&-
[ "$status" -eq 0 ] || fail "ended by a key with status $status"
rm "$work/keys"
echo "ok: help shown, waited for a key, ended with status 0"

echo "== started from a Command Prompt with no arguments: no waiting"
start_on_console cmd.exe /c plimbrook-convert.exe
ended_within 20 || fail "from a Command Prompt it waited: $(screen)"
status=0
wait "$program_pid" || status=$?
program_pid=
exec 4>&-
[ "$status" -eq 2 ] && screen | grep -q 'missingcommand' || fail "status $status: $(screen)"
echo "ok: 'missing command', status 2, at once"
