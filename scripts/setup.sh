#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
# Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang-format clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-svg-dev libgl-dev fonts-liberation2 fonts-dejavu-core
  xvfb xauth imagemagick x11-apps locales time
  pybind11-dev python3 python3-dev python3-numpy python3-scipy python3-pandas python3-pytest
  graphviz
  openmpi-bin libopenmpi-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, for the tests that must not depend on the
# user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $sudo locale-gen >/dev/null
fi
