#!/usr/bin/env bash
# Builds GoogleTest for Windows (MinGW-w64) from Debian's own sources in
# /usr/src/googletest (package googletest) and installs it as static
# libraries into <build-dir>/googletest-prefix, for the unit tests that run
# under Wine. Safe to run again: a finished build is skipped.
#
# usage: scripts/build-googletest-mingw.sh <build-dir>
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(mkdir -p "$1" && cd "$1" && pwd)"
toolchain="$repo_dir/cmake/mingw-w64-x86_64.cmake"
prefix="$build_dir/googletest-prefix"
source_dir=/usr/src/googletest

if [[ -f "$prefix/lib/libgtest.a" && -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]]; then
  exit 0
fi

"$repo_dir/scripts/install-deps.sh" googletest

cmake -S "$source_dir" -B "$build_dir/googletest-build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_GMOCK=OFF \
  -DBUILD_SHARED_LIBS=OFF \
  -DINSTALL_GTEST=ON
cmake --build "$build_dir/googletest-build" -j2
cmake --install "$build_dir/googletest-build"
