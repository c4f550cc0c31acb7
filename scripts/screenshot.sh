#!/usr/bin/env bash
# Starts the window on a virtual X display and saves three screenshots: the
# fresh window (docs/window.png), the window after RUN
# (build/screenshots/window-run.png) and after RUN on a generated matrix with
# one biclique selected (build/screenshots/window-biclique.png). Builds the
# window first.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target bicliques-window
mkdir -p docs build/screenshots

# shot FILE [FLAG...]: runs the window with the flags, then grabs its client area.
shot() {
  local out="$1"
  shift
  xvfb-run -a -s "-screen 0 1024x600x24" bash -c '
    out="$1"; shift
    build/release/app/bicliques-window "$@" &
    pid=$!
    sleep 3
    import -window root -crop 963x524+0+0 +repage "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  ' shot "$out" "$@"
  echo "wrote $out"
}

shot docs/window.png
shot build/screenshots/window-run.png --click-run
shot build/screenshots/window-biclique.png --generate --click-run --select-result 5
