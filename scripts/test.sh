#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the optimised
# build and the Python module's tests on it, then the address and
# undefined-behaviour sanitizer build, then the programs labelled "threads"
# under the thread sanitizer (each a CMake workflow preset), then a short
# fuzz run of the RUN path (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
scripts/check-format.sh
for preset in release sanitize tsan; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
  if [ "$preset" = release ]; then
    echo "== python"
    # Under an address-space cap, so that a run that does not stop fails its
    # test with MemoryError instead of drawing the machine's out-of-memory killer.
    (ulimit -v $((12 << 20)) && PYTHONPATH=build/release/python /usr/bin/python3 -m pytest -v -p no:cacheprovider python/tests)
  fi
done
echo "== fuzz"
bash scripts/fuzz.sh 30
