#!/usr/bin/env bash
# Drives the real calculator in an X server of its own: the window appears with its title, and
# both Ctrl+Q and a window manager's close request end the program with exit code 0.
# usage: e2e.sh PROGRAM WMDELETE
set -u
program=$1
wmdelete=$2
title="32 Bit Mask Calculator"

# The program's own output (a sanitizer's report, Qt's warnings) tells why it failed.
fail() {
    echo "FAIL: $*"
    [ -s "${workdir:-}/program.log" ] && cat "$workdir/program.log"
    exit 1
}

# A display number nobody uses; Xvfb reports the one it took through -displayfd.
workdir=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$workdir"' EXIT
exec 3>"$workdir/display"
# -noreset: by default the server resets when its last client leaves, and a program started during
# that reset cannot connect (Qt then aborts): the second start after a quit failed now and then.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset >"$workdir/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$workdir/display" ] && break
    sleep 0.1
done
[ -s "$workdir/display" ] || fail "Xvfb did not start: $(cat "$workdir/xvfb.log")"
export DISPLAY=":$(head -n1 "$workdir/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$workdir"

# Starts the program and waits for its window; sets $pid and $window.
start() {
    "$program" >"$workdir/program.log" 2>&1 &
    pid=$!
    window=""
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1)
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || fail "the program ended before showing its window"
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window titled \"$title\" appeared"
    [ "$(xdotool getwindowname "$window")" = "$title" ] || fail "wrong window title"
}

# Waits for the program to end by itself and checks its exit code.
expect_exit_zero() {
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        fail "$1: the program is still running"
    fi
    wait "$pid"
    code=$?
    [ "$code" -eq 0 ] || fail "$1: exit code $code"
    echo "ok: $1"
}

start
# Without a window manager nobody activates the window; shortcuts need an active window.
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key --clearmodifiers ctrl+q
expect_exit_zero "Ctrl+Q quits"

start
"$wmdelete" "$window" || fail "could not send the close request"
expect_exit_zero "the close button quits"
