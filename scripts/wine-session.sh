#!/usr/bin/env bash
# Starts or stops the Wine session of a build folder's prefix (see
# scripts/wine-env.sh): the CTest fixture around the Windows tests, and the
# scripts around their runs of Windows programs.
#
# usage: scripts/wine-session.sh start|stop <build-dir>
set -euo pipefail

if [[ $# -ne 2 || ( $1 != start && $1 != stop ) ]]; then
  echo "usage: $0 start|stop <build-dir>" >&2
  exit 2
fi
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
source "$script_dir/wine-env.sh" "$2"
"zorvane_wine_session_$1"
