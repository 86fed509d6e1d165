#!/usr/bin/env bash
# The soak (not part of the test command): on a fresh Debian 12 machine (as
# root: installs what is missing) builds the plug-in and the soak driver
# without sanitizers (g++, in build-soak/), under AddressSanitizer with
# UndefinedBehaviorSanitizer (g++, in build-soak-asan/) and under
# ThreadSanitizer (clang++, in build-soak-tsan/), then runs the soak against
# each build for the given seconds (300 when none is given). Options after the seconds go to the driver, e.g.
# `scripts/soak.sh 600 --seed 7`; see README.md, "Soak".
#
# Fails when a soak's verdict fails, or when a sanitizer reports anything:
# the plug-in's output (kept in <build>/plugin-output.txt) must stay empty,
# and the driver's own output must hold no report either.
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=${1:-300}
[[ $# -gt 0 ]] && shift
# The memory verdict compares the window after the warm-up with the last
# window (60 s and 30 s unless the options say otherwise): a shorter run
# could only end as "not judged", so it is refused before anything is built.
warm_up=60 window=30
options=("$@")
for ((i = 0; i + 1 < ${#options[@]}; i++)); do
  case ${options[i]} in
    --warm-up) warm_up=${options[i + 1]} ;;
    --window) window=${options[i + 1]} ;;
  esac
done
needed=$(awk -v w="$warm_up" -v n="$window" 'BEGIN { x = w + 2 * n; print (x == int(x)) ? x : int(x) + 1 }')
if ! [[ $seconds =~ ^[0-9]+([.][0-9]+)?$ ]] || ! awk -v s="$seconds" -v n="$needed" 'BEGIN { exit !(s >= n) }'; then
  echo "soak: FAILED: the memory verdict needs a run of at least $needed s (a warm-up of" \
    "$warm_up s and two windows of $window s); got '$seconds'" >&2
  echo "usage: scripts/soak.sh [seconds] [driver options...]" >&2
  exit 2
fi
cd "$repo_dir"
"$repo_dir/scripts/install-deps.sh"

# The sanitizers' options of scripts/test.sh: stop at the first report.
# The command sender keeps its last, finished thread until the next command
# joins it; at process end that one thread is left to the system by design,
# and tests/tsan.supp silences that one leak and nothing else.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 symbolize_inline_frames=0 suppressions=$repo_dir/tests/tsan.supp"
# AddressSanitizer's quarantine of freed blocks is capped at 32 MiB: the
# default 256 MiB takes a minute or more of this load to fill, and its
# filling would pass for growth of the plug-in's memory.
export ASAN_OPTIONS="detect_leaks=1 quarantine_size_mb=32"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1"

# The resident memory of the build without sanitizers must stay flat. A
# sanitized build grows by itself (shadow and bookkeeping for the addresses
# of every short-lived sender thread: about 3 MiB a minute under TSan and 7
# under ASan here, while the build without sanitizers stays within 0.1 MiB),
# so under the sanitizers the verdict allows that much more per minute.
sanitizer_creep=(--rss-growth-mib-per-min 12)

# build <preset>: configures and builds the preset's own folder (CMakePresets.json).
build() {
  cmake --preset "$1"
  cmake --build --preset "$1"
}

# soak <dir> [driver options...]: the soak against the build in <dir>.
soak() {
  local dir="$repo_dir/$1" status=0
  shift
  local log="$dir/soak.log" output="$dir/plugin-output.txt"
  "$dir/tools/host_driver/zorvane-host-driver" soak "$dir/zorvaneplugin" --seconds "$seconds" \
    --plugin-output "$output" "$@" 2>&1 | tee "$log" || status=$?
  if grep -qsE 'Sanitizer|runtime error:' "$log" "$output"; then
    echo "soak: FAILED: a sanitizer reported (see $log and $output)" >&2
    status=1
  fi
  return "$status"
}

failed=()
echo "== without sanitizers (g++, -O2): build-soak/"
build soak
soak build-soak "$@" || failed+=("the build without sanitizers")

echo "== AddressSanitizer and UndefinedBehaviorSanitizer (g++): build-soak-asan/"
build soak-asan
soak build-soak-asan "${sanitizer_creep[@]}" "$@" || failed+=("AddressSanitizer")

echo "== ThreadSanitizer (clang++): build-soak-tsan/"
build soak-tsan
soak build-soak-tsan "${sanitizer_creep[@]}" "$@" || failed+=("ThreadSanitizer")

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "soak: FAILED: ${failed[*]}" >&2
  exit 1
fi
echo "soak: passed without sanitizers, under AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer"
