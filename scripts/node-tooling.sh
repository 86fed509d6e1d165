#!/usr/bin/env bash
# Makes the pinned npm packages of package-lock.json (the Stream Deck CLI,
# playwright-core, ws) ready in node_modules/, with `npm ci`. Skips the
# install when node_modules/ already holds exactly this lock file.
# Needs node 20.1 or newer (the Stream Deck CLI's minimum).
#
# usage: scripts/node-tooling.sh
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo_dir"

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  "$repo_dir/scripts/install-deps.sh" nodejs npm
fi
if ! node -e 'const [a, b] = process.versions.node.split(".").map(Number);
              process.exit(a > 20 || (a === 20 && b >= 1) ? 0 : 1)'; then
  echo "node $(node --version) is too old: the Stream Deck CLI needs node 20.1 or newer" >&2
  exit 1
fi

stamp=node_modules/.zorvane-package-lock.json
if ! cmp -s package-lock.json "$stamp"; then
  npm ci --no-audit --no-fund
  cp package-lock.json "$stamp"
fi
