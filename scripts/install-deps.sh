#!/usr/bin/env bash
# Installs Debian packages when they are missing: the ones named, or with no
# names the ones that the native build and its tests need. Run as root on
# Debian 12 when anything is missing.
#
# usage: scripts/install-deps.sh [package...]
set -euo pipefail

if [[ $# -gt 0 ]]; then
  packages=("$@")
else
  packages=(cmake ninja-build g++ clang clang-format libclang-rt-14-dev git
            libwebsocketpp-dev libasio-dev libjsoncpp-dev libgtest-dev libgmock-dev
            pkg-config libpng-dev libjpeg62-turbo-dev libgif-dev libwebp-dev
            python3 python3-websockets python3-pytest python3-pil)
fi
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi
if [[ $(id -u) -ne 0 ]]; then
  echo "missing packages (install them as root): ${missing[*]}" >&2
  exit 1
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
