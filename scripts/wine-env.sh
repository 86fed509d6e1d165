# shellcheck shell=bash
# Sets up the build folder's private, headless Wine prefix and exports the
# environment that runs Windows programs in it.
#
# usage: source scripts/wine-env.sh <build-dir>
#        zorvane_wine_session_start    (see below)
#        wine <program.exe> [arguments]
#        zorvane_wine_session_stop
#
# The prefix lives in <build-dir>/wine-prefix. Preparing it takes a while the
# first time; later calls find it ready and only export the variables.
#
# A run of many Windows programs (the tests, the demo, the build's listing of
# test cases) goes inside one Wine session: one server for the prefix, started
# with its service processes and its desktop before the first program and
# kept until the last one has ended. Without it Wine starts and stops its server on its own:
# the server of a program started while nothing else runs outlives it and
# holds that program's standard output and error, so whoever reads them to
# the end (CTest, a pipe) waits for it; and a program started while the
# server shuts down, once its persistence time has run out, is ended by the
# server with exit code 1 before it has done anything (docs/reliability.md).
# Windows itself has neither: the session's processes stay for the whole
# logon.

zorvane_wine_env() {
  if [[ $# -ne 1 ]]; then
    echo "usage: zorvane_wine_env <build-dir>" >&2
    return 2
  fi
  mkdir -p "$1" || return 1
  local build_dir
  build_dir="$(cd "$1" && pwd)" || return 1

  # Wine's preloader reserves the addresses Windows gives fixed uses before
  # Linux maps anything into a new process. Without it, wine64 (placed at a
  # fixed address) has its heap start at a random place up to 1 GiB above it,
  # and about one start in several thousand finds its heap already over the
  # page Windows keeps at 0x7ffe0000 in every process (the shared user data):
  # that process ends with "failed to map the shared user data: c0000018"
  # before it runs (docs/reliability.md).
  if [[ ! -x /usr/lib/wine/wine64-preloader ]]; then
    echo "Wine: /usr/lib/wine/wine64-preloader is missing; install the Debian package wine64-preloader (scripts/build-windows.sh does)" >&2
    return 1
  fi

  export WINEPREFIX="$build_dir/wine-prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko install prompts: nothing here needs .NET or HTML.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # No display: the null graphics driver below serves every window.
  unset DISPLAY WAYLAND_DISPLAY
  ZORVANE_WINE_LOG="$build_dir/wine-session.log"

  local ready="$WINEPREFIX/.zorvane-ready"
  [[ -f "$ready" ]] && return 0

  # Several processes may start at once; one prepares the prefix.
  (
    flock 9
    if [[ ! -f "$ready" ]]; then
      zorvane_wine_logged "preparing the Wine prefix $WINEPREFIX" \
        wineboot -i &&
        zorvane_wine_logged "choosing the null graphics driver" \
          wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
        zorvane_wine_logged "waiting for the prefix's first server" wineserver -w &&
        touch "$ready"
    fi
  ) 9>"$build_dir/wine-prefix.lock"
  [[ -f "$ready" ]]
}

# zorvane_wine_logged <what> <command...>: runs a step of Wine's own set-up
# with Wine's error messages on and its output in the session log, apart from
# any test's output. When the step fails, says what failed, with the log.
zorvane_wine_logged() {
  local what="$1"
  shift
  WINEDEBUG=-all,err+all "$@" </dev/null >>"$ZORVANE_WINE_LOG" 2>&1 && return 0
  local status=$?
  {
    echo "Wine: $what failed (exit code $status): $*"
    echo "--- $ZORVANE_WINE_LOG"
    tail -n 40 "$ZORVANE_WINE_LOG"
    echo "---"
  } >&2
  return "$status"
}

# Starts the prefix's Wine session: ends whatever an interrupted run left in
# it, then starts a server that stays until zorvane_wine_session_stop (no
# persistence time), its service processes and a keeper of the desktop.
zorvane_wine_session_start() {
  : >"$ZORVANE_WINE_LOG"
  zorvane_wine_session_stop
  zorvane_wine_logged "starting the Wine server" wineserver -p || return
  # Its service processes, its desktop (explorer.exe) and a program that keeps
  # a window on that desktop until the session ends. `start` returns once the
  # keeper waits for input: its window is there. Without a keeper Wine closes
  # the desktop a second after the last other window has gone, and the next
  # program to make a window starts explorer.exe again, which then holds that
  # program's output for as long as the desktop lives.
  zorvane_wine_logged "starting Wine's services and the desktop's keeper" \
    wine start notepad.exe
}

# Ends the session: the server, and with it every process still in the prefix.
zorvane_wine_session_stop() {
  wineserver -k </dev/null >>"$ZORVANE_WINE_LOG" 2>&1 || true # none was running
  wineserver -w </dev/null >>"$ZORVANE_WINE_LOG" 2>&1
}

if [[ $# -ge 1 ]]; then
  zorvane_wine_env "$1"
fi
