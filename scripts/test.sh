#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine (as root: installs what is
# missing): the style checks, the native build with g++ and its unit and
# end-to-end tests, the same under ThreadSanitizer (clang++) and
# AddressSanitizer with UndefinedBehaviorSanitizer (g++), the Windows build
# under Wine, and the plug-in bundle.
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_dir"
"$repo_dir/scripts/install-deps.sh"

# build <dir> <c++ compiler> [cmake options...]
build() {
  local dir=$1 compiler=$2
  shift 2
  cmake -S "$repo_dir" -B "$repo_dir/$dir" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" \
    -DZORVANE_WERROR=ON "$@"
  cmake --build "$repo_dir/$dir" -j2
}

echo "== style: every C++ source as .clang-format lays it out"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== style: the inspector's scripts and the node tests as .prettierrc.json lays them out"
node_dir="$("$repo_dir/scripts/node-tooling.sh")"
git ls-files -z -- 'com.brimcove.zorvaneplugin.sdPlugin/inspector/*.js' 'tests/*.mjs' |
  PATH="$node_dir:$PATH" xargs -0 node_modules/.bin/prettier --check

echo "== native build (g++), unit and end-to-end tests"
build build g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure

echo "== ThreadSanitizer (clang++)"
build build-tsan clang++ -DZORVANE_SANITIZE=thread
# The command sender's last, finished thread is left to the system at process
# end by design; tests/tsan.supp silences that one leak and nothing else.
# Matching it symbolizes the thread's creation stack, whose inlined asio frames
# overflow the symbolizer's buffer and print a warning the silent plug-in must
# not print; without inline frames each frame still has its file and line.
tsan_options="halt_on_error=1 second_deadlock_stack=1 symbolize_inline_frames=0"
TSAN_OPTIONS="$tsan_options suppressions=$repo_dir/tests/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure

echo "== AddressSanitizer and UndefinedBehaviorSanitizer (g++)"
build build-asan g++ -DZORVANE_SANITIZE=address
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1" \
  ctest --test-dir build-asan --output-on-failure

echo "== Windows build under Wine"
"$repo_dir/scripts/test-windows.sh" "$repo_dir/build-win"

echo "== plug-in bundle: property inspector in headless Chromium, validate and pack"
"$repo_dir/scripts/test-inspector.sh"
"$repo_dir/scripts/package.sh"
