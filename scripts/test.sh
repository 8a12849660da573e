#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test twice: once in a normal
# build and once built with AddressSanitizer and UndefinedBehaviorSanitizer;
# then runs each fuzzer for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")

bash scripts/build.sh build-asan -DZXRC_SANITIZE=ON -DZXRC_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs")

bash scripts/fuzz.sh 30 build-fuzz
