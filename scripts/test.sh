#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds everything with warnings as errors and runs the whole test
# suite headless, twice: a release build with gcc (plus valgrind's memcheck and the test over the
# whole corpus of real descriptions), then a clang build under AddressSanitizer and
# UndefinedBehaviorSanitizer (plus the fuzzers and clang-tidy).
# Environment: MASKCALC_CLANG_TIDY=OFF leaves clang-tidy out of the second build (default ON).
# Any failing stage stops the script with a non-zero exit; the last lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --tests
cmake --preset ci
cmake --build --preset ci -j"$(nproc)"
ctest --preset ci
# Every register of every real description, once: on this build, not under the sanitizers.
ctest --preset corpus

cmake --preset asan -DMASKCALC_CLANG_TIDY="${MASKCALC_CLANG_TIDY:-ON}"
cmake --build --preset asan -j"$(nproc)"
ctest --preset fuzz
# libFuzzer's own figures, from the log of the run that just passed.
grep -E '^(Command: |stat::(number_of_executed_units|average_exec_per_sec))' \
    build/asan/Testing/Temporary/LastTest.log | sed -e 's|^Command: "[^"]*/\([^/"]*\)".*|\1|'
ctest --preset asan
