#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs clang-tidy (checks in .clang-tidy) over the project's own sources as a build compiled them.
# Generated sources (moc, uic, rcc) live in the build tree and are left out.
# Usage: scripts/clang-tidy.sh BUILD_DIR   (configured with CMAKE_EXPORT_COMPILE_COMMANDS=ON)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: scripts/clang-tidy.sh BUILD_DIR}" && pwd)
db="$build/compile_commands.json"
[ -f "$db" ] || { echo "$db is missing: configure with CMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2; exit 1; }
tidy=${CLANG_TIDY:-clang-tidy}

mapfile -t files < <(sed -n 's/^ *"file": *"\(.*\)",\{0,1\}$/\1/p' "$db" \
    | grep -E "^$src/(app|window|labels|svd|labeltool|tests|fuzz|bench)/[^/]+\.cpp$" | sort -u)
# An empty list would pass without checking anything.
[ ${#files[@]} -gt 0 ] || { echo "No project sources found in $db" >&2; exit 1; }
echo "clang-tidy over ${#files[@]} files"
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" "$tidy" -p "$build" --quiet
echo "clang-tidy: no findings"
