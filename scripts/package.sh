#!/usr/bin/env bash
# Makes the installable plug-in: com.brimcove.zorvaneplugin.streamDeckPlugin
# in build-bundle/ (or the folder given).
#
# On a fresh Debian 12 machine, as root, it installs what is missing
# (Chromium for the inspector tests, the pinned npm packages), builds
# zorvaneplugin.exe with scripts/build-windows.sh when build-win/ has none,
# copies the bundle source folder and the exe into a staging folder, checks
# it with `streamdeck validate`, packs it with `streamdeck pack` and checks
# that the packed file holds the exe and every file of the bundle source.
#
# usage: scripts/package.sh [output-dir]
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out_dir="$(mkdir -p "${1:-$repo_dir/build-bundle}" && cd "${1:-$repo_dir/build-bundle}" && pwd)"
uuid=com.brimcove.zorvaneplugin
source_dir="$repo_dir/$uuid.sdPlugin"
exe="$repo_dir/build-win/zorvaneplugin.exe"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" chromium python3
"$repo_dir/scripts/node-tooling.sh"
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
/usr/bin/python3 - "$packed" "$stage_dir" "$uuid.sdPlugin" <<'PY'
import hashlib
import os
import sys
import zipfile

packed, stage_dir, folder = sys.argv[1:]
with zipfile.ZipFile(packed) as archive:
    entries = {info.filename: info for info in archive.infolist() if not info.is_dir()}
    expected = set()
    for root, _, files in os.walk(stage_dir):
        for name in files:
            path = os.path.join(root, name)
            expected.add(folder + "/" + os.path.relpath(path, stage_dir).replace(os.sep, "/"))
    missing = sorted(expected - set(entries))
    if missing:
        sys.exit("missing from the packed file: " + ", ".join(missing))
    for name in sorted(expected):
        with open(os.path.join(stage_dir, name[len(folder) + 1:]), "rb") as f:
            if hashlib.sha256(archive.read(name)).digest() != hashlib.sha256(f.read()).digest():
                sys.exit(name + " in the packed file differs from the staged file")
    for name in (folder + "/zorvaneplugin.exe", folder + "/manifest.json",
                 folder + "/inspector/index.html"):
        print(f"{entries[name].file_size:>10}  {name}")
    print(f"{len(entries)} files, all equal to the staged bundle")
PY
echo "made $packed"
