#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors and runs the whole test
# suite headless. The last lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --tests
cmake --preset ci
cmake --build --preset ci -j"$(nproc)"
ctest --preset ci
