#!/usr/bin/env bash
# Runs every fuzz target for a short, bounded time over its seed corpus, so
# that a regression (a crash, a hang, a leak) shows in CI. Skipped, with a
# line saying so, where clang with libFuzzer is not installed.
#   XRDB8_FUZZ_SECONDS  seconds per target (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${XRDB8_FUZZ_SECONDS:-15}
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
if ! command -v clang++ >/dev/null 2>&1 ||
   ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
     clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$probe_dir/probe" >/dev/null 2>&1; then
  echo "fuzz: skipped (no clang++ with libFuzzer)"
  exit 0
fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DXRDB8_BUILD_FUZZ=ON \
  -DXRDB8_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)"
mkdir -p build/fuzz/artifacts
failed=0
for pair in tsql_parse_fuzz:tsql tsql_exec_fuzz:tsql csv_line_fuzz:csv xml_record_fuzz:xml \
            colour_file_fuzz:colours lists_fuzz:lists; do
  target=${pair%%:*}
  seeds=fuzz/corpus/${pair#*:}
  found=$(mktemp -d)  # new inputs go here, the seeds stay as they are
  echo "fuzz: $target for ${seconds}s"
  # A fixed seed: every run tries the same inputs, so that a fault shows again.
  if ! build/fuzz/fuzz/"$target" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -max_len=4096 -print_final_stats=0 -artifact_prefix=build/fuzz/artifacts/"$target"- \
       "$found" "$seeds" >build/fuzz/"$target".log 2>&1; then
    echo "fuzz: $target FAILED; the input is in build/fuzz/artifacts, the log:"
    tail -n 40 build/fuzz/"$target".log
    failed=$((failed + 1))
  fi
  rm -rf "$found"
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: $failed of 6 targets found a fault"
  exit 1
fi
echo "fuzz: no target found a fault"
