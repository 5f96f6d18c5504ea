#!/usr/bin/env bash
# Builds and runs every test: a release build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer. A throwaway PostgreSQL
# server serves both suites' tests of the server engine (scripts/pg_cluster.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
source scripts/pg_cluster.sh
trap pg_cluster_stop EXIT
pg_cluster_start
jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DXRDB8_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}
run_suite build/release -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DXRDB8_SANITIZE=ON
