#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a QtTest program on the xcb platform in an X server of its own: there, Qt binds keys as an
# X11 desktop does (Ctrl+U deletes the line of a text field), unlike on the offscreen platform.
# usage: onx.sh PROGRAM [TEST FUNCTIONS...]
set -u
. "$(dirname "$0")/xserver.sh"
QT_QPA_PLATFORM=xcb "$@"
