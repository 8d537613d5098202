# SPDX-License-Identifier: MIT
# Sourced by the scripts beside it: starts an X server of their own (DISPLAY), a private runtime
# directory ($workdir), and takes both down when the script ends.

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
