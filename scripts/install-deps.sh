#!/usr/bin/env bash
# Installs, only when missing, every Debian package that building and testing zolva needs.
# Idempotent: when everything is present it changes nothing and does not touch the network.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libtiff-dev zlib1g-dev
  liblapacke-dev libopenblas-dev
  libfftw3-dev
  python3 locales
  qt6-base-dev qt6-multimedia-dev libgl-dev
  xvfb xauth
  clang libclang-rt-14-dev
  libjpeg62-turbo-dev
  ngspice python3-scikit-rf python3-numpy
  python3-dev pybind11-dev python3-pybind11 python3-pytest python3-tqdm python3-matplotlib
  imagemagick parallel
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A comma-decimal locale for the tests that prove the number texts independent of the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "install-deps: generating the de_DE.UTF-8 locale"
  $SUDO sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
