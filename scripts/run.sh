#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window. Needs a display; on
# a machine without one, see scripts/screenshot.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target bicliques-window bicliques
exec build/release/app/bicliques-window
