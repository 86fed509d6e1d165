#!/usr/bin/env bash
# Tests the plug-in bundle's source folder: the manifest, pictures and
# language files (tests/bundle/), and the property inspector pages in a
# headless Chromium against a stand-in Stream Deck host (tests/inspector/).
# Installs Chromium (Debian package) and the pinned npm packages when
# missing. Screenshots of the pages go to build-inspector/screenshots/.
#
# usage: scripts/test-inspector.sh
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_dir"

"$repo_dir/scripts/install-deps.sh" chromium python3
"$repo_dir/scripts/node-tooling.sh"

node --test tests/bundle/*.test.mjs tests/inspector/*.test.mjs
