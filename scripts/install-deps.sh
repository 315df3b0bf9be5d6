#!/usr/bin/env bash
# Installs what building, testing and running Sonalign needs on Debian 12.
set -euo pipefail
PKGS=(cmake g++ make qtbase5-dev qtbase5-dev-tools libfftw3-dev pkg-config libqt5xml5 libqt5svg5 fonts-dejavu-core fonts-dejavu-extra sox ffmpeg mediainfo xvfb xauth)
[ "${SONALIGN_WITH_FUZZ:-0}" = 1 ] && PKGS+=(clang libclang-rt-14-dev)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
