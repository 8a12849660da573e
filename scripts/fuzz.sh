#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each one for a bounded
# time on its committed seed corpus plus what earlier runs found:
#   fuzz.sh <seconds per harness> [build dir] [harness…]
# Fails on the first harness that finds a crash, a leak or a slow input; the
# input that did it is kept in <build dir>/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
dir=${2:-build-fuzz}
shift $(( $# > 2 ? 2 : $# ))

CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZXRC_FUZZ=ON -DZXRC_TESTS=OFF -DZXRC_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzzers

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do harnesses+=("$(basename "$f" .cpp)"); done
fi

mkdir -p "$dir/artifacts"
for h in "${harnesses[@]}"; do
  seeds=fuzz/corpus/${h#fuzz_}
  found=$dir/corpus/${h#fuzz_}
  mkdir -p "$found"
  echo "== $h: $secs s"
  # New inputs go to the first folder, so the committed seeds stay as they are.
  log=$dir/$h.log
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$dir/$h" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$h-" "$found" "$seeds" \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$h failed; the input is in $dir/artifacts"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
done
