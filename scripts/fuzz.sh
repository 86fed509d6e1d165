#!/usr/bin/env bash
# Runs the fuzz targets (inbound Stream Deck messages, desktop notifications,
# thumbnail files, the POSIX desktop link's header and framing) with libFuzzer
# under AddressSanitizer and UndefinedBehaviorSanitizer, starting from the saved
# inputs in tests/fuzz/corpus/. New interesting inputs go to
# build-fuzz/corpus/; copy the ones worth keeping into tests/fuzz/corpus/,
# where every test run replays them. A crash leaves its input in
# build-fuzz/findings/<target>/; the run then stops with exit code 1.
#
# usage: scripts/fuzz.sh [seconds per target, default 60]
#        scripts/fuzz.sh --runs N [target...]   N inputs per target, the
#                                               targets side by side
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
targets=(inbound_message notification picture link_frame)
limit=(-max_total_time="${1:-60}")
parallel=0
if [[ "${1:-}" == "--runs" ]]; then
  limit=(-runs="${2:?--runs needs a count}")
  parallel=1
  shift 2
  [[ $# -eq 0 ]] || targets=("$@")
fi

"$repo_dir/scripts/install-deps.sh"
cd "$repo_dir"
cmake --preset fuzz
cmake --build --preset fuzz --target "${targets[@]/%/_fuzz}"

# Longest input per target. An inbound input is several events, one a line;
# a kilobyte holds a few of them (a key appears, then is pressed or changed),
# and longer inputs only slow every run down. A picture input is a box byte
# and a whole file: the saved ones are up to a kilobyte, and more room lets a
# header that claims a large picture bring data for much of it.
max_len() {
  case "$1" in
    inbound_message) echo 1024 ;;
    picture) echo 16384 ;;
    *) echo 4096 ;;
  esac
}

# Making a picture may take 48 MiB: for that target one allocation above it is
# a finding.
malloc_limit() {
  case "$1" in
    picture) echo 48 ;;
    *) echo 2048 ;;
  esac
}

# AddressSanitizer keeps every distinct allocation stack for the life of the
# process, and a recursive parser fed ever new shapes makes new stacks without
# end (the inbound target: 9.6 million stacks, 482 MiB, after 1.4 million
# inputs, while its heap stays flat), which would pass libFuzzer's usual 2 GiB
# limit within a few million inputs. The process limit is raised for that;
# one allocation above 2 GiB still counts as a finding.
fuzz() {
  local target=$1
  mkdir -p "$repo_dir/build-fuzz/corpus/$target" "$repo_dir/build-fuzz/findings/$target"
  "$repo_dir/build-fuzz/tests/${target}_fuzz" "${limit[@]}" -max_len="$(max_len "$target")" \
    -rss_limit_mb=8192 -malloc_limit_mb="$(malloc_limit "$target")" \
    -artifact_prefix="$repo_dir/build-fuzz/findings/$target/" \
    "$repo_dir/build-fuzz/corpus/$target" "$repo_dir/tests/fuzz/corpus/$target" \
    >"$repo_dir/build-fuzz/$target.log" 2>&1
  echo "$target: $(grep -E '^Done|^#[0-9]+ *DONE' "$repo_dir/build-fuzz/$target.log" | tail -1)"
}

status=0
if [[ $parallel -eq 1 ]]; then
  pids=()
  for target in "${targets[@]}"; do
    fuzz "$target" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || status=1
  done
else
  for target in "${targets[@]}"; do
    fuzz "$target" || status=1
  done
fi
exit $status
