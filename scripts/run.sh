#!/usr/bin/env bash
# Installs what is missing, builds, and runs the bicliques command on the
# worked example. To run it on a file: build/release/cli/bicliques FILE
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target bicliques
printf '11110\n00111\n' | build/release/cli/bicliques
