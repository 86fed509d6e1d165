#!/usr/bin/env bash
# Runs a Windows program under Wine in a build folder's private prefix; CTest
# uses it as the emulator for cross-compiled test programs. A program that
# fails says so with its exit code, whatever it printed itself.
#
# usage: ZORVANE_BUILD_DIR=<build-dir> scripts/wine-run.sh <program.exe> [arguments]
# Without ZORVANE_BUILD_DIR the build folder is the current one.
#
# The program runs in the Wine session that scripts/wine-session.sh started
# (the CTest fixture of the Windows tests, and the scripts, start one). Run
# without one, Wine starts and stops its server as it sees fit, with the
# hazards that scripts/wine-env.sh describes.
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR
source "$script_dir/wine-env.sh" "${ZORVANE_BUILD_DIR:-$PWD}"

# Wine's error messages on: a test program's output is shown only when it
# fails, and then Wine's word belongs with it.
export WINEDEBUG=-all,err+all
status=0
wine "$@" || status=$?
if [[ $status -ne 0 ]]; then
  echo "wine-run: $(basename "$1") exited with code $status" >&2
fi
exit "$status"
