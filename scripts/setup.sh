#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building (and, with --tests, testing; with --screenshot,
# photographing) the calculator needs; with --debian13, what scripts/test-debian13.sh needs.
# Only what is missing is installed, through apt-get as root or through sudo.
set -euo pipefail

packages=(cmake make g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core)
# The window runs natively on Wayland through this plugin; without it Qt falls back to X11.
packages+=(qt6-wayland)
if [ "${1:-}" = "--tests" ]; then
    packages+=(xvfb xauth xdotool libx11-dev binutils-mingw-w64-x86-64 desktop-file-utils appstream)
    # setfacl and setfattr, for the tests that the label file's ACL and attributes survive a write.
    packages+=(acl attr)
    # dbus-run-session: the end-to-end test's own session bus.
    packages+=(dbus-daemon)
    # The sanitizer and fuzzer build (clang, its runtimes, llvm-symbolizer for readable reports),
    # clang-tidy, and valgrind for the memcheck test.
    packages+=(clang libclang-rt-dev llvm clang-tidy valgrind)
    # The Debian package: cpack's dependency list (dpkg-shlibdeps), lintian on the result, man to
    # render the manual pages, bash-completion to run the label tool's completion.
    packages+=(dpkg-dev lintian man-db bash-completion)
fi
if [ "${1:-}" = "--debian13" ]; then
    # scripts/test-debian13.sh: making a Debian 13 root file system.
    packages=(debootstrap debian-archive-keyring)
fi
if [ "${1:-}" = "--screenshot" ]; then
    packages+=(xvfb xauth xdotool imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run this as root or install sudo." >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
