# Sourced by the scripts that start an X server and the window program on it. `private_session
# DIR` gives what they start a home and a runtime folder of their own under DIR, and no session
# bus: a desktop machine's bus must not answer them, and where none runs, libdbus would start one
# through dbus-launch (dbus-x11) on the first X display it sees, leave the daemon running and
# write ~/.dbus. The program itself works with a bus or without one; only the tests choose.
private_session() {
    local root=$1
    export HOME="$root/home" XDG_RUNTIME_DIR="$root/runtime"
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    # Any address stops the autolaunch; this one names no bus at all.
    export DBUS_SESSION_BUS_ADDRESS=disabled:
    unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE SESSION_MANAGER WAYLAND_DISPLAY
}
