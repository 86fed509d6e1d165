#!/usr/bin/env bash
# Installs the Debian packages that the native build and its tests need, when
# they are missing. Run as root on Debian 12.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev
          libwebsocketpp-dev libasio-dev libjsoncpp-dev libgtest-dev libgmock-dev
          python3 python3-websockets python3-pytest)
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
