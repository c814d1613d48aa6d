#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need; does nothing when they
# are all there already. Safe to run again. Usage: scripts/setup.sh [--fuzz]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libxml2-dev
  qt6-base-dev fonts-wqy-microhei xvfb xauth
  python3-openpyxl python3-xlwt time bc
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
apt_get() { $sudo apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"; }
if ! apt_get install --no-install-recommends "${missing[@]}"; then
  apt_get update
  apt_get install --no-install-recommends "${missing[@]}"
fi
