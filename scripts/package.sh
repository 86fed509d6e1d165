#!/usr/bin/env bash
# Makes the installable plug-in: com.brimcove.zorvaneplugin.streamDeckPlugin
# in build-bundle/ (or the folder given).
#
# On a fresh Debian 12 machine, as root, it installs what is missing
# (Chromium for the inspector tests, node when the system has none new
# enough, the pinned npm packages), makes the Windows build with
# scripts/build-windows.sh when build-win/ has none, and brings its
# zorvaneplugin_bundle target up to date: zorvaneplugin.exe, the manifest
# with the build's version and the notices of what the exe contains
# (cmake/Bundle.cmake). It copies the bundle source folder and those three
# files into a staging folder, checks it with `streamdeck validate` and packs
# it with `streamdeck pack`, then rewrites the packed file with its entries in
# name order and dated SOURCE_DATE_EPOCH (tools/bundle_pack/fixed_zip.py),
# which is the last commit's time unless set. A copy of the staging folder,
# packed the same way in another place, must give the same bytes. Last it
# checks that the packed file holds every staged file and nothing else, that
# the exe's version resource gives the manifest's version, that every
# third-party file of the exe's link has its notice, and that the exe holds
# no path of this machine (tools/bundle_check/check_packed.py).
#
# usage: scripts/package.sh [output-dir]
# ZORVANE_PYTHON names the Python that runs the rewriting and the check
# (default: Debian's).
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out_dir="$(mkdir -p "${1:-$repo_dir/build-bundle}" && cd "${1:-$repo_dir/build-bundle}" && pwd)"
uuid=com.brimcove.zorvaneplugin
source_dir="$repo_dir/$uuid.sdPlugin"
build_dir="$repo_dir/build-win"
python="${ZORVANE_PYTHON:-/usr/bin/python3}"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" chromium python3 git
PATH="$("$repo_dir/scripts/node-tooling.sh"):$PATH"
streamdeck="$repo_dir/node_modules/.bin/streamdeck"

if [[ ! -f "$build_dir/build.ninja" ]]; then
  "$repo_dir/scripts/build-windows.sh"
fi
# The notices are made from the copyright file in jsoncpp's prefix; the
# script only adds what the prefix lacks.
CMAKE_GENERATOR=Ninja "$repo_dir/scripts/build-jsoncpp-mingw.sh" "$build_dir"
cmake --build --preset windows --target zorvaneplugin_bundle

# The packed file's entries carry the time of the commit, so that one commit
# packs to the same bytes wherever and whenever it is packed.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git -C "$repo_dir" log -1 --format=%ct)}"

# The CLI reads the folder it packs and writes its manifest back: it works on
# a copy, never on the source folder. A second copy, in another place, is
# packed as well and must give the same bytes.
stage_dir="$out_dir/stage/$uuid.sdPlugin"
again_dir="$out_dir/again/stage/$uuid.sdPlugin"
rm -rf "$out_dir/stage" "$out_dir/again"
mkdir -p "$out_dir/stage" "$(dirname "$again_dir")"
cp -R "$source_dir" "$stage_dir"
cp "$build_dir/zorvaneplugin.exe" "$build_dir/bundle/manifest.json" \
  "$build_dir/bundle/THIRD-PARTY-NOTICES.txt" "$stage_dir/"
cp -R "$stage_dir" "$again_dir"

echo "== streamdeck validate"
"$streamdeck" validate --no-update-check "$stage_dir"

# pack <staging folder> <output folder>: the CLI's pack, then entries in name
# order with the commit's time.
pack() {
  rm -f "$2/$uuid.streamDeckPlugin" &&
    "$streamdeck" pack --no-update-check --force --output "$2" "$1" &&
    "$python" "$repo_dir/tools/bundle_pack/fixed_zip.py" "$2/$uuid.streamDeckPlugin"
}

echo "== streamdeck pack"
packed="$out_dir/$uuid.streamDeckPlugin"
pack "$stage_dir" "$out_dir"

echo "== the same staged files packed in another folder"
if ! output="$(pack "$again_dir" "$out_dir/again" 2>&1)"; then
  echo "$output" >&2
  exit 1
fi
cmp "$packed" "$out_dir/again/$uuid.streamDeckPlugin"
echo "the same bytes: $(sha256sum "$packed" | cut -d' ' -f1)"

echo "== contents of $packed"
not_in_exe=(--not-in-exe "$repo_dir")
if [[ "${HOME:-/}" != / ]]; then
  not_in_exe+=(--not-in-exe "$HOME")
fi
"$python" "$repo_dir/tools/bundle_check/check_packed.py" "$packed" "$stage_dir" "$uuid.sdPlugin" \
  --windres x86_64-w64-mingw32-windres --link-map "$build_dir/zorvaneplugin.map" "${not_in_exe[@]}"
echo "made $packed"
