#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the optimised
# build, then the address and undefined-behaviour sanitizer build, then the
# engine and run-path tests under the thread sanitizer, then a short fuzz run
# of the RUN path (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
scripts/check-format.sh
for preset in release sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j "$(nproc)"
done
echo "== tsan"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$(nproc)" --target test_rununit test_extensionunit test_fastconsensus \
  test_bicliqueunit test_parallelunit $(grep -q test_sparseunit tests/CMakeLists.txt && echo test_sparseunit)
ctest --preset tsan -j "$(nproc)"
echo "== fuzz"
bash scripts/fuzz.sh 30
