#!/usr/bin/env bash
# Cross-compiles zorvaneplugin.exe for 64-bit Windows with MinGW-w64 into
# build-win/ (the windows preset of CMakePresets.json), with what the bundle
# adds beside it in build-win/bundle/ (the manifest with the version, the
# notices) and the unit tests (GoogleTest, built for MinGW as well), which
# run under Wine. Installs the Debian packages it needs when they are missing
# (as root).
#
# usage: scripts/build-windows.sh
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo_dir/build-win"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" cmake ninja-build dpkg-dev g++-mingw-w64-x86-64 wine wine64 wine64-preloader \
  libwebsocketpp-dev libasio-dev googletest python3

export CMAKE_GENERATOR=Ninja
"$repo_dir/scripts/build-jsoncpp-mingw.sh" "$build_dir"
"$repo_dir/scripts/build-googletest-mingw.sh" "$build_dir"

cmake --preset windows
# The build lists each test program's cases by running it under Wine.
# shellcheck source-path=SCRIPTDIR
source "$repo_dir/scripts/wine-env.sh" "$build_dir"
zorvane_wine_session_start
trap zorvane_wine_session_stop EXIT
cmake --build --preset windows

echo "built $build_dir/zorvaneplugin.exe"
