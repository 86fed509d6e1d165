#!/usr/bin/env bash
# Builds the Windows programs (see build-windows.sh) and tests them under
# Wine: the unit tests (the same list as the native build's, each test case
# in a process of its own), then the end-to-end tests against
# zorvaneplugin.exe.
#
# usage: scripts/test-windows.sh
# ZORVANE_PYTHON names the Python with pytest, websockets and Pillow (default: Debian's).
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo_dir="$(dirname "$script_dir")"
build_dir="$repo_dir/build-win"
cd "$repo_dir"

"$script_dir/build-windows.sh"

# The end-to-end tests need Debian's pytest and websockets; the demo's, Pillow.
"$script_dir/install-deps.sh" python3-pytest python3-websockets python3-pil

# Each test runs through scripts/wine-run.sh, inside the Wine session that
# the tests' fixture starts and stops.
ctest --preset windows

# shellcheck source-path=SCRIPTDIR
source "$script_dir/wine-env.sh" "$build_dir"
zorvane_wine_session_start
trap zorvane_wine_session_stop EXIT
# Of Wine's own messages only the errors of the loader and of the address
# space: none while a program starts as it should (the tests check that the
# plug-in writes nothing), and they say why one could not start.
WINEDEBUG=-all,err+module,err+virtual \
ZORVANE_PLUGIN_CMD="wine $(printf '%q' "$build_dir/zorvaneplugin.exe")" \
ZORVANE_DESKTOP_CMD="wine $(printf '%q' "$build_dir/zorvane-desktop-standin.exe")" \
  "${ZORVANE_PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider "$repo_dir/tests/e2e"
