#!/usr/bin/env bash
# Measures the plug-in on a fresh Debian 12 machine (as root: installs what is
# missing): builds a Release (-O2) build in build-bench/, checks the host
# driver with its own tests, runs the micro-benchmarks, draws the dial list's
# thumbnails (build-bench/dial-library/, kept while they are current), then
# runs the host driver against the built plug-in and prints its table of
# figures (also written to build-bench/figures.json). Options are passed to
# the driver, e.g. `scripts/bench.sh --image-mib none`; see
# docs/performance.md.
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$repo_dir/build-bench"
cd "$repo_dir"
"$repo_dir/scripts/install-deps.sh"
"$repo_dir/scripts/install-deps.sh" libbenchmark-dev python3-pil

echo "== Release build (-O2) in build-bench/"
cmake --preset bench
cmake --build --preset bench

echo "== the host driver's own tests"
ctest --preset bench

echo "== micro-benchmarks"
"$build_dir/bench/zorvane-micro-bench"

echo "== the dial list's thumbnails: photo-like PNGs and JPEGs of 1,024 and 2,048 px"
/usr/bin/python3 "$repo_dir/tools/host_driver/make_dial_library.py" "$build_dir/dial-library"

echo "== the plug-in process, driven as the Stream Deck application drives it"
"$build_dir/tools/host_driver/zorvane-host-driver" bench "$build_dir/zorvaneplugin" \
  --json "$build_dir/figures.json" --dial-library "$build_dir/dial-library" "$@"
