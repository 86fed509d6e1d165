#!/usr/bin/env bash
# Builds jsoncpp for Windows (MinGW-w64) from Debian's own source package and
# installs it as a static library into <build-dir>/jsoncpp-prefix, with the
# source package's copyright file and changelog in
# share/doc/<source package>/, as a Debian package would install them: the
# notices of zorvaneplugin.exe are made from them (tools/bundle_notices/).
# Safe to run again: every finished step is skipped.
#
# usage: scripts/build-jsoncpp-mingw.sh <build-dir>
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$(mkdir -p "$1" && cd "$1" && pwd)"
toolchain="$repo_dir/cmake/mingw-w64-x86_64.cmake"
prefix="$build_dir/jsoncpp-prefix"
work="$build_dir/jsoncpp-build"

if [[ -f "$prefix/lib/libjsoncpp.a" && -f "$prefix/include/json/json.h" &&
      -f "$prefix/lib/cmake/jsoncpp/jsoncppConfig.cmake" &&
      -f "$prefix/share/doc/libjsoncpp/copyright" ]]; then
  exit 0
fi

as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

# apt-get source needs dpkg-source, from dpkg-dev.
if ! command -v dpkg-source >/dev/null; then
  as_root apt-get install -y dpkg-dev
fi

# Source entries mirror the binary entries this machine already uses; no host
# name is written here. They go to a file of their own.
ensure_source_entries() {
  if apt-get source --print-uris libjsoncpp >/dev/null 2>&1; then
    return 0
  fi
  local deb822=/etc/apt/sources.list.d/debian.sources
  local legacy=/etc/apt/sources.list
  if [[ -f "$deb822" ]]; then
    sed -E 's/^Types:.*/Types: deb-src/' "$deb822" |
      as_root tee /etc/apt/sources.list.d/zorvane-deb-src.sources >/dev/null
  elif [[ -f "$legacy" ]]; then
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$legacy" |
      as_root tee /etc/apt/sources.list.d/zorvane-deb-src.list >/dev/null
  else
    echo "no apt sources found to derive source entries from" >&2
    exit 1
  fi
  as_root apt-get update
}

mkdir -p "$work"
source_dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libjsoncpp-*' -print -quit)"
if [[ -z "$source_dir" || ! -f "$source_dir/CMakeLists.txt" ]]; then
  ensure_source_entries
  (cd "$work" && apt-get source libjsoncpp)
  source_dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libjsoncpp-*' -print -quit)"
fi
if [[ -z "$source_dir" ]]; then
  echo "jsoncpp source package did not unpack" >&2
  exit 1
fi

cmake -S "$source_dir" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF \
  -DBUILD_STATIC_LIBS=ON \
  -DBUILD_OBJECT_LIBS=OFF \
  -DJSONCPP_WITH_TESTS=OFF \
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
  -DJSONCPP_WITH_EXAMPLE=OFF \
  -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
  -DJSONCPP_WITH_CMAKE_PACKAGE=ON
cmake --build "$work/build" -j2
cmake --install "$work/build"
doc_dir="$prefix/share/doc/$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Source)"
install -D -m 644 "$source_dir/debian/copyright" "$doc_dir/copyright"
install -D -m 644 "$source_dir/debian/changelog" "$doc_dir/changelog.Debian"
