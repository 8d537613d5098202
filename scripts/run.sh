#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the calculator (release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"

exe="$PWD/build/release/K732-118"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "The calculator is built ($exe), but there is no display to show its window on" >&2
    echo "(neither DISPLAY nor WAYLAND_DISPLAY is set). To run it on a virtual X server:" >&2
    echo "    xvfb-run -a $exe" >&2
    exit 1
fi
exec "$exe" "$@"
