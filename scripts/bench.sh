#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmarks (the bench preset: release, bench/ only) and runs them: first the window's
# per-event and label-loading costs in one process, then the register description import against
# a bare XML reader pass, reg and find against a bare reader process, and the label tool's check
# against the window's reading, in one process and as whole processes, devices on a generated
# root of installed packs, then start-up as whole processes run in turn.
# An optional argument sets the number of start-up rounds (default 30), a second one the rounds of
# the label tool's process benchmark (default 11).
# Last, the window's start with each real register description imported whole (every *.svd of
# BENCH_SVD_DIR and of its corpus/, by default ../shared/svd beside the checkout) against the form
# with the same set names; BENCH_SVD_ROUNDS sets its rounds (default 15), and the label tool's reg,
# find, import-svd and dump on each of them against a bare XML reader pass, by processor time;
# BENCH_SVD_COMMAND_ROUNDS sets those rounds (default 11). Both are left out when there is no such
# directory.
# BENCH_APP, BENCH_LABELS_TOOL and BENCH_READ_LABELS name another build's bench_startup_app,
# K732-118-labels and bench_readlabels to measure instead of this build's, against the same floors.
#
#   scripts/bench.sh --tree DIR [ROUNDS [TOOL_ROUNDS]]
# measures another source tree of the project (a change, or main) with these benchmarks: DIR's
# sources with this bench/ in place of its own, built into build/bench-tree/, and only the process
# benchmarks (start-up and the label tool) run. DIR itself is only read.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

run_descriptions() {
    local dir=${BENCH_SVD_DIR:-../shared/svd}
    local files=()
    [ -d "$dir" ] && files=("$dir"/*.svd "$dir"/corpus/*.svd)
    if [ "${#files[@]}" -eq 0 ] || [ ! -e "${files[0]}" ]; then
        echo
        echo "No register descriptions in $dir: start-up with real descriptions left out"
        return 0
    fi
    echo
    echo "Load before: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    "$1/bench_startup" --descriptions "${BENCH_SVD_ROUNDS:-15}" "${files[@]}"
    echo
    "$1/bench_svdcommands" "${BENCH_SVD_COMMAND_ROUNDS:-11}" "${files[@]}"
    echo
    echo "Load after: $(cut -d' ' -f1-3 /proc/loadavg)"
}
if [ "${1:-}" = "--tree" ]; then
    tree=$(cd "${2:?--tree needs a directory}" && pwd)
    shift 2
    src=build/bench-tree/src
    rm -rf "$src" && mkdir -p "$src"
    for entry in "$tree"/* "$tree"/.clang-format "$tree"/.clang-tidy; do
        [ -e "$entry" ] || continue
        name=$(basename "$entry")
        case "$name" in build | bench) ;; *) ln -s "$entry" "$src/$name" ;; esac
    done
    ln -s "$PWD/bench" "$src/bench"
    cmake -S "$src" -B build/bench-tree/build -DCMAKE_BUILD_TYPE=Release -DMASKCALC_BUILD_BENCH=ON \
        -DBUILD_TESTING=OFF >/dev/null
    cmake --build build/bench-tree/build -j"$(nproc)" --target bench_startup bench_labeltool \
        bench_svdcommands
    bin=build/bench-tree/build/bench
    export QT_QPA_PLATFORM=offscreen
    echo
    echo "Tree: $tree ($(git -C "$tree" describe --always --dirty 2>/dev/null || echo 'not a git tree'))"
    echo
    "$bin/bench_labeltool" "${2:-11}"
    echo
    "$bin/bench_startup" "${1:-30}"
    run_descriptions "$bin"
    exit 0
fi
cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)"

bin=build/bench/bench
export QT_QPA_PLATFORM=offscreen

echo
echo "Date: $(date -u +%Y-%m-%d)  Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -g | awk '/^Mem:/ {print $2 " GiB"}')  Qt: $(qtpaths6 --qt-version 2>/dev/null || echo unknown)"
echo
echo "In one process (QBENCHMARK, median of 7 runs)"
echo
# QtTest's CSV rows: "function","data row","metric",msecs per iteration,total,iterations
if ! events=$("$bin/bench_events" -csv -median 7 -minimumtotal 100 2>/dev/null); then
    # The CSV report leaves out failures: the plain one says what went wrong.
    "$bin/bench_events" >&2 || true
    exit 1
fi
echo "$events" | awk -F, '
    /WalltimeMilliseconds/ {
        gsub(/"/, "", $1); gsub(/"/, "", $2)
        if ($1 == "loadSets") { row[++rows] = $2; ms[$2] = $4 } else { event[++events] = $1; us[$1] = $4 * 1000 }
    }
    END {
        print "| event | µs |"; print "|---|---:|"
        for (i = 1; i <= events; ++i) printf "| %s | %.1f |\n", event[i], us[event[i]]
        print ""
        print "| window built with | ms | added ms | per set µs |"; print "|---|---:|---:|---:|"
        base = ms["default file"]
        for (i = 1; i <= rows; ++i) {
            n = row[i] + 0
            if (n > 0) printf "| %s | %.2f | %.2f | %.2f |\n", row[i], ms[row[i]], ms[row[i]] - base, (ms[row[i]] - base) * 1000 / n
            else printf "| %s | %.2f | | |\n", row[i], ms[row[i]]
        }
    }'
echo
echo "Register description import, against a bare XML reader pass over the same bytes (median of 21 runs in turns)"
echo
"$bin/bench_svdimport"
echo
echo "reg and find on a 4.8 MiB description as whole processes, against a process that only runs the XML reader (median of 15 rounds in turns)"
echo
"$bin/bench_reg" 15
echo
echo "check of a large label file against the window's own reading of it (median of 11 runs)"
echo
"$bin/bench_labelcheck"
echo
"$bin/bench_labeltool" "${2:-11}"
echo
"$bin/bench_devices" "${2:-11}"
echo
"$bin/bench_startup" "${1:-30}"
run_descriptions "$bin"
