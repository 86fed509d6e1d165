#!/usr/bin/env bash
# Runs the fuzz targets (inbound Stream Deck messages, desktop notifications,
# the POSIX desktop link's header and framing) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, each for a while, starting
# from the saved inputs in tests/fuzz/corpus/. New interesting inputs go to build-fuzz/corpus/; copy
# the ones worth keeping into tests/fuzz/corpus/, where every test run replays them.
#
# usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
"$repo_dir/scripts/install-deps.sh"
cmake -S "$repo_dir" -B "$repo_dir/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DZORVANE_SANITIZE=address -DZORVANE_FUZZ=ON
cmake --build "$repo_dir/build-fuzz" -j2 --target inbound_message_fuzz notification_fuzz link_frame_fuzz
for target in inbound_message notification link_frame; do
  mkdir -p "$repo_dir/build-fuzz/corpus/$target"
  "$repo_dir/build-fuzz/tests/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 \
    "$repo_dir/build-fuzz/corpus/$target" "$repo_dir/tests/fuzz/corpus/$target"
done
