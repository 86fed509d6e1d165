# shellcheck shell=bash
# Sets up the build folder's private, headless Wine prefix and exports the
# environment that runs Windows programs in it.
#
# usage: source scripts/wine-env.sh <build-dir>
#        zorvane_wine_start            (optional, see below)
#        wine <program.exe> [arguments]
#
# The prefix lives in <build-dir>/wine-prefix. Preparing it takes a while the
# first time; later calls find it ready and only export the variables.
#
# Wine's server and service processes outlive each program and keep its
# standard output and error open until they exit, so whoever waits for the end
# of that output (CTest, a pipe) waits seconds longer. zorvane_wine_start
# starts them beforehand, apart from any output.

zorvane_wine_env() {
  if [[ $# -ne 1 ]]; then
    echo "usage: zorvane_wine_env <build-dir>" >&2
    return 2
  fi
  mkdir -p "$1" || return 1
  local build_dir
  build_dir="$(cd "$1" && pwd)" || return 1

  export WINEPREFIX="$build_dir/wine-prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko install prompts: nothing here needs .NET or HTML.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # No display: the null graphics driver below serves every window.
  unset DISPLAY WAYLAND_DISPLAY

  local ready="$WINEPREFIX/.zorvane-ready"
  [[ -f "$ready" ]] && return 0

  # Several test processes may start at once; one prepares the prefix.
  (
    flock 9
    if [[ ! -f "$ready" ]]; then
      wineboot -i >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 &&
        wineserver -w &&
        touch "$ready"
    fi
  ) 9>"$build_dir/wine-prefix.lock"
  [[ -f "$ready" ]] || { echo "could not prepare the Wine prefix $WINEPREFIX" >&2; return 1; }
}

zorvane_wine_start() {
  # Does nothing when a server for this prefix is already running.
  wineserver -p10 </dev/null >/dev/null 2>&1 || true
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1
}

if [[ $# -ge 1 ]]; then
  zorvane_wine_env "$1"
fi
