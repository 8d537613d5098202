#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Drives the real calculator in an X server of its own: the window appears with its title and the
# window class that the desktop entry names, and Ctrl+Q (also after a right-click on the tool bar)
# and a window manager's close request end the program with exit code 0.
# usage: e2e.sh PROGRAM WMDELETE DESKTOP_ENTRY
set -u
program=$1
wmdelete=$2
desktop_entry=$3
title="32 Bit Mask Calculator"

. "$(dirname "$0")/xserver.sh"

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

# Docks match a window to its launcher by the class part of WM_CLASS.
start
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_entry")
[ -n "$wm_class" ] || fail "no StartupWMClass in $desktop_entry"
xdotool search --onlyvisible --class "^$wm_class\$" 2>/dev/null | grep -qx "$window" ||
    fail "the window's class is not StartupWMClass=$wm_class"
echo "ok: the window's class is $wm_class"

# Right-click the right end of the tool bar and click where an entry of a context menu would be:
# the shortcuts must outlive whatever that menu offered.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" $((WIDTH - 6)) 12 click 3
sleep 0.5
xdotool mousemove --window "$window" $((WIDTH + 20)) 24 click 1
sleep 0.5
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool key --clearmodifiers ctrl+q
expect_exit_zero "Ctrl+Q quits after a right-click on the tool bar"
