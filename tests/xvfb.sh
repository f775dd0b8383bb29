# shellcheck shell=bash
# A display server of a test's own. Source it, then:
#   start_xvfb FIRST LAST LOG   starts Xvfb on the first free display number
#                               from FIRST to LAST, exports DISPLAY, sets
#                               xvfb_pid, and returns once X answers.
start_xvfb() {
  local number
  for number in $(seq "$1" "$2"); do
    [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] || break
  done
  Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$3" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$number"
  for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}
