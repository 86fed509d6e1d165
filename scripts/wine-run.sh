#!/usr/bin/env bash
# Runs a Windows program under Wine in a build folder's private prefix; CTest
# uses it as the emulator for cross-compiled test programs.
#
# usage: ZORVANE_BUILD_DIR=<build-dir> scripts/wine-run.sh <program.exe> [arguments]
# Without ZORVANE_BUILD_DIR the build folder is the current one.
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
source "$script_dir/wine-env.sh" "${ZORVANE_BUILD_DIR:-$PWD}"
zorvane_wine_start
exec wine "$@"
