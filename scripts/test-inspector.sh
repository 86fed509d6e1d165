#!/usr/bin/env bash
# Tests the plug-in bundle's source folder: the manifest, pictures and
# language files (tests/bundle/), and the property inspector pages in a
# headless Chromium against a stand-in Stream Deck host (tests/inspector/);
# the manifest and the inspector's action list against the plug-in's key
# action table, which it builds in build/ (configured as scripts/test.sh does
# when missing);
# then the checks and tools that scripts/package.sh runs on the packed file
# and that the Windows build runs for the notices (pytest; the checks of the
# exe link small Windows programs with the MinGW-w64 toolchain).
# Installs Chromium, pytest and the MinGW-w64 toolchain (Debian packages),
# node when the system has none new enough, and the pinned npm packages when
# missing. Screenshots of the pages go to build-inspector/screenshots/.
#
# usage: scripts/test-inspector.sh
# ZORVANE_PYTHON names the Python with pytest (default: Debian's).
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" chromium python3 python3-pytest g++-mingw-w64-x86-64
PATH="$("$repo_dir/scripts/node-tooling.sh"):$PATH"

# The bundle test holds the manifest and actions.js to the plug-in's key
# action table, which the native build (build/) writes as key_actions.json.
"$repo_dir/scripts/install-deps.sh"
cmake --preset native
cmake --build --preset native --target key_actions_json
export ZORVANE_ACTION_TABLE="$repo_dir/build/key_actions.json"

node --test tests/bundle/*.test.mjs tests/inspector/*.test.mjs
"${ZORVANE_PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider tests/bundle
