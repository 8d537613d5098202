#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's test command (scripts/test.sh) on Debian 13 (trixie, Qt 6.8) as a new user
# would: in a Debian root file system made with debootstrap, where scripts/setup.sh installs the
# packages. The root file system is kept in build/debian13/ and reused by the next run (delete the
# folder to start afresh); the sources are copied into it anew each time, without build/.
# Needs root. Any failure, including an unreachable mirror, ends the script with a non-zero exit;
# the last lines are the CTest summary of the run inside.
# With --prepare it only makes the root file system and installs the packages inside, without
# building: CI runs that beside the Debian 12 run, so that the later run finds them there.
# Environment: DEBIAN13_MIRROR, the Debian mirror (default http://deb.debian.org/debian);
# MASKCALC_FUZZ_SECONDS, how long each fuzzer runs inside (default 20: the Debian 12 run of CI
# gives them 40 each already); MASKCALC_CLANG_TIDY, whether clang-tidy runs inside (default OFF:
# the Debian 12 run has it).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
cache="$src/build/debian13"
rootfs="$cache/rootfs"
mirror=${DEBIAN13_MIRROR:-http://deb.debian.org/debian}
inner=/src/K732-118
prepare=
case "${1:-}" in
    --prepare) prepare=1 ;;
    "") ;;
    *) echo "usage: scripts/test-debian13.sh [--prepare]" >&2; exit 2 ;;
esac

fail() {
    echo "test-debian13: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot and mounts)"

# In a mount namespace of its own, every mount below goes away with the script, however it ends
# (even killed outright); the trap below also undoes them one by one on every ordinary exit.
if [ -z "${MASKCALC_IN_NAMESPACE:-}" ] \
    && unshare --mount --propagation private true 2>/dev/null; then
    MASKCALC_IN_NAMESPACE=1 exec unshare --mount --propagation private "$BASH" "$0" "$@"
fi

# Every mount below the root file system, deepest first: those of this script, and any that a
# test or debootstrap left behind.
unmount_all() {
    [ -d "$1" ] || return 0
    local target
    awk -v root="$(realpath "$1")" '$2 == root || index($2, root "/") == 1 { print $2 }' \
        /proc/self/mounts | sort -r | while read -r target; do
        umount "$target" 2>/dev/null || umount -l "$target" || echo "cannot unmount $target" >&2
    done
}
trap 'unmount_all "$rootfs"; unmount_all "$cache/rootfs.partial"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -x "$rootfs/bin/bash" ]; then
    "$src/scripts/setup.sh" --debian13 || fail "cannot install debootstrap"
    echo "Making a Debian 13 root file system in $rootfs from $mirror"
    # Made aside and renamed when complete, so that an interrupted run is never taken for a cache.
    partial="$cache/rootfs.partial"
    unmount_all "$partial"
    rm -rf --one-file-system "$partial"
    mkdir -p "$cache"
    debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
        trixie "$partial" "$mirror" >"$cache/debootstrap.log" 2>&1 || {
        tail -n 5 "$cache/debootstrap.log" >&2
        fail "debootstrap failed: is $mirror reachable? (log: $cache/debootstrap.log)"
    }
    # Services that packages bring along never start inside.
    printf '#!/bin/sh\nexit 101\n' >"$partial/usr/sbin/policy-rc.d"
    chmod 755 "$partial/usr/sbin/policy-rc.d"
    mv "$partial" "$rootfs"
else
    echo "Reusing the Debian 13 root file system in $rootfs"
fi

# Name resolution as on the host, for apt-get inside.
cp -L /etc/resolv.conf "$rootfs/etc/resolv.conf"
cp -L /etc/hosts "$rootfs/etc/hosts"

# A copy rather than a bind mount: the build inside must not meet the host's build/.
rm -rf --one-file-system "$rootfs$inner"
mkdir -p "$rootfs$inner"
tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$rootfs$inner" -xf -

# The host's devices and terminals, with a /dev/shm of the run's own (the fuzzers keep their
# scratch files there).
mount -t proc proc "$rootfs/proc"
mount -t sysfs sysfs "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"
mount -t tmpfs -o mode=1777 shm "$rootfs/dev/shm"

# A run stopped while installing packages leaves them half configured in the cached root
# file system; this finishes them.
chroot "$rootfs" dpkg --configure -a

if [ -n "$prepare" ]; then
    echo "Installing the packages of scripts/test.sh on Debian 13"
    chroot "$rootfs" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash "$inner/scripts/setup.sh" --tests
    exit 0
fi

echo "Running scripts/test.sh on Debian 13"
chroot "$rootfs" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    ${CI:+CI="$CI"} MASKCALC_FUZZ_SECONDS="${MASKCALC_FUZZ_SECONDS:-20}" \
    MASKCALC_CLANG_TIDY="${MASKCALC_CLANG_TIDY:-OFF}" \
    bash "$inner/scripts/test.sh"
