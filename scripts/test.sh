#!/usr/bin/env bash
# Installs what is needed, builds with warnings as errors and runs every test
# twice: in a normal build and in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer. A clang build keeps the second compiler clean
# too; the package check builds, validates, installs and purges the .deb; each
# fuzzer then runs for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# A window test spends much of its time waiting for the program's frames
# and for processes to start: one test more than there are processors keeps
# the processors busy.
jobs=$(( $(nproc) + 1 ))

bash scripts/build.sh build -DZXRC_WERROR=ON
(cd build && ctest --output-on-failure -j "$jobs")

bash scripts/build.sh build-clang -DZXRC_WERROR=ON -DZXRC_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

bash scripts/check-package.sh build-pkg

bash scripts/build.sh build-asan -DZXRC_SANITIZE=ON -DZXRC_BENCH=OFF -DZXRC_WERROR=ON
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs")

bash scripts/fuzz.sh 30 build-fuzz
