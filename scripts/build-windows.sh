#!/usr/bin/env bash
# Cross-compiles zorvaneplugin.exe for 64-bit Windows with MinGW-w64 into
# build-win/ (or the folder given), together with the unit tests (GoogleTest,
# built for MinGW as well), which run under Wine.
# Installs the Debian packages it needs when they are missing (as root).
#
# usage: scripts/build-windows.sh [build-dir]
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${1:-$repo_dir/build-win}"

"$repo_dir/scripts/install-deps.sh" cmake ninja-build dpkg-dev g++-mingw-w64-x86-64 wine wine64 \
  libwebsocketpp-dev libasio-dev googletest

export CMAKE_GENERATOR=Ninja
"$repo_dir/scripts/build-jsoncpp-mingw.sh" "$build_dir"
"$repo_dir/scripts/build-googletest-mingw.sh" "$build_dir"

cmake -S "$repo_dir" -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$repo_dir/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DZORVANE_BUILD_TESTS=ON \
  -DZORVANE_WERROR=ON
cmake --build "$build_dir" -j2

echo "built $build_dir/zorvaneplugin.exe"
