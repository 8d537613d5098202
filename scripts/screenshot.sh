#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshot: the release build of the calculator, started from a copy with an
# example label file beside it, on a virtual X server, with one of the file's sets chosen and a
# mask typed in. Look at the picture before committing it.
# usage: scripts/screenshot.sh [LABEL-FILE [SET [MASK [OUTPUT]]]]
set -euo pipefail
cd "$(dirname "$0")/.."

labels=${1:-examples/K732-118.ini}
set=${2:-Motor}
mask=${3:-19}
out=${4:-docs/screenshot.png}
title="32 Bit Mask Calculator"

if [ "${SCREENSHOT_INSIDE_X:-}" != 1 ]; then
    [ -f "$labels" ] || { echo "no label file $labels" >&2; exit 1; }
    scripts/setup.sh --screenshot
    # SCREENSHOT_EXECUTABLE names a calculator built elsewhere; by default the release preset's.
    program=${SCREENSHOT_EXECUTABLE:-build/release/K732-118}
    if [ -z "${SCREENSHOT_EXECUTABLE:-}" ]; then
        cmake --preset release >/dev/null
        cmake --build --preset release -j"$(nproc)"
    fi

    # The program reads its label file beside the executable, so it runs from a copy.
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp "$program" "$work/K732-118"
    cp "$labels" "$work/K732-118.ini"
    mkdir -p "$(dirname "$out")"
    SCREENSHOT_INSIDE_X=1 SCREENSHOT_PROGRAM="$work/K732-118" XDG_RUNTIME_DIR="$work" \
        xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$labels" "$set" "$mask" "$out"
    echo "Saved $out"
    exit 0
fi

# From here on inside the virtual X server.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
"$SCREENSHOT_PROGRAM" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
window=""
for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no window titled \"$title\" appeared" >&2; exit 1; }

# No window manager runs here, so the window is focused by hand. The label drop-down comes first
# in the focus chain and has the focus: typing a set's name chooses it. The mask field comes last:
# Shift+Tab reaches it, Ctrl+A selects its text.
xdotool windowfocus --sync "$window"
sleep 0.3
xdotool type --delay 30 "$set"
sleep 0.3
xdotool key --clearmodifiers shift+Tab ctrl+a
xdotool type --delay 30 "$mask"
xdotool key --clearmodifiers Tab
sleep 0.5
import -window "$window" "$out"
xdotool key --clearmodifiers ctrl+q
wait "$pid"
