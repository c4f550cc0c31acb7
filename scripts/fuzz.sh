#!/usr/bin/env bash
# Builds the fuzz targets of the RUN path and of the input formats with clang
# (libFuzzer, address and undefined-behaviour sanitizers) in build/fuzz and
# runs them for SECONDS in all (default 60). Findings land in
# build/fuzz/findings; the corpora they grow in build/fuzz/corpus and
# build/fuzz/readers-corpus (the seeds in tests/fuzz stay as they are).
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
cxx="$(command -v clang++-14 || command -v clang++)"
cmake -S tests/fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build build/fuzz -j "$(nproc)"

mkdir -p build/fuzz/corpus build/fuzz/readers-corpus build/fuzz/findings
# SECONDS are shared: two thirds for the RUN path, a third for the readers.
run_seconds=$((seconds * 2 / 3))
readers_seconds=$((seconds - run_seconds))
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Inputs up to 300 bytes keep every run short (every engine, and the brute
# force for up to 12 rows); the targets skip shapes with many results.
build/fuzz/fuzz_run build/fuzz/corpus tests/fuzz/corpus \
  -dict=tests/fuzz/matrix.dict -max_len=300 -timeout=20 -rss_limit_mb=2048 \
  -max_total_time="$run_seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/
build/fuzz/fuzz_readers build/fuzz/readers-corpus tests/fuzz/readers-corpus \
  -dict=tests/fuzz/readers.dict -max_len=300 -timeout=20 -rss_limit_mb=2048 \
  -max_total_time="$readers_seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/findings/
