#!/usr/bin/env bash
# The long form of the soak test: soak.sh <build dir> [renderer]
# Thirty minutes of random use and 300 kills (ZXRC_SOAK_SECONDS and
# ZXRC_KILLS override them, ZXRC_SOAK_SEED repeats a run); one renderer,
# software unless named. Prints the figures the test reports.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
renderer=${2:-software}
cmake --build "$dir" --target test_app_soak
export ZXRC_SOAK_SECONDS=${ZXRC_SOAK_SECONDS:-1800}
export ZXRC_KILLS=${ZXRC_KILLS:-300}
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$dir/test_app_soak" --gtest_filter="Renderers/Soak.*/${renderer}"
