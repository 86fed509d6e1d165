#!/usr/bin/env bash
# Cross-compiles zorvaneplugin.exe for 64-bit Windows with MinGW-w64 into
# build-win/ (or the folder given), together with the Windows platform tests.
# Installs the Debian packages it needs when they are missing (as root).
#
# usage: scripts/build-windows.sh [build-dir]
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-$repo_dir/build-win}"

packages=(cmake ninja-build dpkg-dev g++-mingw-w64-x86-64 wine wine64
          libwebsocketpp-dev libasio-dev)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages (install them as root): ${missing[*]}" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

export CMAKE_GENERATOR=Ninja
"$repo_dir/scripts/build-jsoncpp-mingw.sh" "$build_dir"

cmake -S "$repo_dir" -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$repo_dir/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DZORVANE_BUILD_TESTS=OFF \
  -DZORVANE_WERROR=ON
cmake --build "$build_dir" -j2

echo "built $build_dir/zorvaneplugin.exe"
