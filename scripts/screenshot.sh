#!/usr/bin/env bash
# Starts the window on a virtual X display and saves its screenshots: the
# fresh window (docs/window.png); a biclique of a generated matrix selected,
# the window maximised on an 800 x 600 screen (docs/window-800x600.png) and
# on a 1920 x 1080 one (docs/window-maximised.png); the window after RUN
# (build/screenshots/window-run.png) and with a biclique selected
# (build/screenshots/window-biclique.png); with the Lattice window beside it,
# the worked example's lattice (docs/lattice-worked.png) and the zoo iceberg
# (docs/lattice-zoo.png). Builds the window first.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target bicliques-window
mkdir -p docs build/screenshots

# shot FILE SCREEN CROP [FLAG...]: runs the window with the flags on a screen
# of SCREEN (WxH) pixels, then grabs CROP (WxH+X+Y) of it.
shot() {
  local out="$1" screen="$2" crop="$3"
  shift 3
  xvfb-run -a -s "-screen 0 ${screen}x24" bash -c '
    out="$1"; crop="$2"; shift 2
    build/release/app/bicliques-window "$@" &
    pid=$!
    sleep 4
    import -window root -crop "$crop" +repage "$out"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  ' shot "$out" "$crop" "$@"
  echo "wrote $out"
}

chosen=(--sources 24 --targets 30 --generate --click-run --select-result 40)
shot docs/window.png 1024x600 963x524+0+0
shot docs/window-800x600.png 800x600 800x600+0+0 --maximised "${chosen[@]}"
shot docs/window-maximised.png 1920x1080 1920x1080+0+0 --maximised "${chosen[@]}"
shot build/screenshots/window-run.png 1024x600 963x524+0+0 --click-run
shot build/screenshots/window-biclique.png 1024x600 963x524+0+0 --generate --click-run --select-result 5
shot docs/lattice-worked.png 1900x760 1880x710+0+0 --click-run --lattice --select-result 3
shot docs/lattice-zoo.png 1900x760 1880x710+0+0 --input ../shared/data/zoo.txt --click-run --lattice \
  --lattice-min-sources 20 --select-result 40
