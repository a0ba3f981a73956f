#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo use
# (only what is missing; needs root or sudo).
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config libcfitsio-dev libsqlite3-dev
      libgtest-dev libgmock-dev libbenchmark-dev fitsverify python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
