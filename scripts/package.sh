#!/usr/bin/env bash
# Makes the installable plug-in: com.brimcove.zorvaneplugin.streamDeckPlugin
# in build-bundle/ (or the folder given).
#
# On a fresh Debian 12 machine, as root, it installs what is missing
# (Chromium for the inspector tests, node when the system has none new
# enough, the pinned npm packages), builds zorvaneplugin.exe with
# scripts/build-windows.sh when build-win/ has none, copies the bundle source
# folder and the exe into a staging folder, checks it with `streamdeck
# validate`, packs it with `streamdeck pack` and checks that the packed file
# holds the exe and every file of the bundle source and nothing else
# (tools/bundle_check/check_packed.py).
#
# usage: scripts/package.sh [output-dir]
# ZORVANE_PYTHON names the Python that runs the check (default: Debian's).
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out_dir="$(mkdir -p "${1:-$repo_dir/build-bundle}" && cd "${1:-$repo_dir/build-bundle}" && pwd)"
uuid=com.brimcove.zorvaneplugin
source_dir="$repo_dir/$uuid.sdPlugin"
exe="$repo_dir/build-win/zorvaneplugin.exe"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" chromium python3
PATH="$("$repo_dir/scripts/node-tooling.sh"):$PATH"
streamdeck="$repo_dir/node_modules/.bin/streamdeck"

if [[ ! -f "$exe" ]]; then
  "$repo_dir/scripts/build-windows.sh" "$repo_dir/build-win"
fi

# The CLI reads the folder it packs, and `pack --version` would rewrite its
# manifest: it works on a copy, never on the source folder.
stage_dir="$out_dir/stage/$uuid.sdPlugin"
rm -rf "$out_dir/stage"
mkdir -p "$out_dir/stage"
cp -R "$source_dir" "$stage_dir"
cp "$exe" "$stage_dir/zorvaneplugin.exe"

echo "== streamdeck validate"
"$streamdeck" validate --no-update-check "$stage_dir"

echo "== streamdeck pack"
packed="$out_dir/$uuid.streamDeckPlugin"
rm -f "$packed"
"$streamdeck" pack --no-update-check --force --output "$out_dir" "$stage_dir"

echo "== contents of $packed"
"${ZORVANE_PYTHON:-/usr/bin/python3}" "$repo_dir/tools/bundle_check/check_packed.py" \
  "$packed" "$stage_dir" "$uuid.sdPlugin"
echo "made $packed"
