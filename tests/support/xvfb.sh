# A virtual X server for the desktop end-to-end scripts (sourced; run them in
# their scratch folder).
#   xvfb_require PACKAGES TOOL...   skips the script (exit 0) unless every
#                                   tool is there; as root, first installs
#                                   PACKAGES (none: only skip)
#   xvfb_start [XVFB OPTION...]     starts the server on a display it picks
#                                   itself (free, even with other servers
#                                   starting at the same time) and points
#                                   DISPLAY and the desktop back end at it
#   xvfb_await_exit PID WHAT        gives the program 10 s to end (then
#                                   fails WHAT and kills it); sets $code
# On exit the processes whose ids stand in the variables named by
# $xvfb_clients end first, then the server.

xvfb_missing() {
  local tool
  for tool; do
    command -v "$tool" > /dev/null || echo "$tool"
  done
}

xvfb_require() {  # PACKAGES TOOL...
  local packages=$1
  shift
  if [ -n "$packages" ] && [ -n "$(xvfb_missing "$@")" ] && [ "$(id -u)" -eq 0 ]; then
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y $packages > apt.log 2>&1
  fi
  if [ -n "$(xvfb_missing "$@")" ]; then
    echo "SKIPPED: missing $(xvfb_missing "$@" | tr '\n' ' ')(install ${packages:-them})"
    exit 0
  fi
}

xvfb_stop() {
  local name
  for name in ${xvfb_clients:-}; do
    [ -n "${!name:-}" ] && kill "${!name}" 2> /dev/null
  done
  kill "$xvfb" 2> /dev/null
  wait 2> /dev/null
}

xvfb_await_exit() {  # PID WHAT
  for _ in $(seq 100); do
    kill -0 "$1" 2> /dev/null || break
    sleep 0.1
  done
  if kill -0 "$1" 2> /dev/null; then
    fail "$2: still running 10 s after Escape"
    kill "$1"
  fi
  wait "$1"
  code=$?
}

xvfb_start() {  # [XVFB OPTION...]
  Xvfb -displayfd 3 -screen 0 1024x768x24 "$@" -nolisten tcp 3> display.txt > xvfb.log 2>&1 &
  xvfb=$!
  trap xvfb_stop EXIT
  for _ in $(seq 100); do
    [ -s display.txt ] && break
    sleep 0.1
  done
  local number
  number=$(tr -d '[:space:]' < display.txt)
  [ -n "$number" ] || { echo "FAIL: Xvfb did not start"; cat xvfb.log; exit 1; }
  export DISPLAY=":$number" TESSEL_PLATFORM=sdl
  unset WAYLAND_DISPLAY SDL_VIDEODRIVER TESSEL_INPUT TESSEL_LOG_STDERR
}
