#!/usr/bin/env bash
# Builds the fuzz target of the RUN path with clang (libFuzzer, address and
# undefined-behaviour sanitizers) in build/fuzz and runs it for SECONDS
# (default 60). Findings land in build/fuzz/findings;
# the corpus it grows in build/fuzz/corpus (the seeds in tests/fuzz/corpus
# stay as they are).
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
cxx="$(command -v clang++-14 || command -v clang++)"
cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build build/fuzz -j "$(nproc)"

mkdir -p build/fuzz/corpus build/fuzz/findings
# Inputs up to 300 bytes keep every run short (both engines, and the brute
# force for up to 12 rows); the target skips shapes with more than 2^16 results.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build/fuzz/fuzz_run build/fuzz/corpus tests/fuzz/corpus \
  -dict=tests/fuzz/matrix.dict -max_len=300 -timeout=20 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/
