#!/usr/bin/env bash
# The main job: builds the plug-in and the stand-in desktop application (the
# native or the windows preset of CMakePresets.json, as the tests build them), then
# runs the narrated demo session in which the stand-in Stream Deck application
# and the stand-in desktop application talk to each other through the real
# plug-in (tools/streamdeck_host/demo.py). Exits with the demo's status: 0
# when every step had its expected effect.
#
# usage: scripts/demo.sh             native build in build/
#        scripts/demo.sh --windows   Windows build in build-win/, run under Wine
#
# On a fresh Debian 12 machine run it as root: it installs the Debian packages
# it needs when they are missing.
# ZORVANE_PYTHON names the Python with websockets and Pillow (default: Debian's).
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_dir"
python="${ZORVANE_PYTHON:-/usr/bin/python3}"

case "${1:-}" in
  "") windows=0 ;;
  --windows) windows=1 ;;
  *)
    echo "usage: $0 [--windows]" >&2
    exit 2
    ;;
esac
if [[ $# -gt 1 ]]; then
  echo "usage: $0 [--windows]" >&2
  exit 2
fi

if [[ $windows -eq 0 ]]; then
  echo "== installing what is missing and building the native plug-in"
  scripts/install-deps.sh
  cmake --preset native
  cmake --build --preset native
  echo "== demo"
  exec "$python" tools/streamdeck_host demo --desktop build/zorvane-desktop-standin -- build/zorvaneplugin
fi

echo "== building the Windows plug-in"
scripts/build-windows.sh

# The demo itself runs on Debian's Python with websockets, and draws its
# thumbnails with Pillow.
scripts/install-deps.sh python3 python3-websockets python3-pil

echo "== preparing Wine"
# shellcheck source-path=SCRIPTDIR
source scripts/wine-env.sh build-win
zorvane_wine_session_start
trap zorvane_wine_session_stop EXIT
echo "== demo (under Wine)"
"$python" tools/streamdeck_host demo --desktop "wine build-win/zorvane-desktop-standin.exe" \
  -- wine build-win/zorvaneplugin.exe
