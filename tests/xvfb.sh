# shellcheck shell=bash
# A display server of a test's own. Source it, then:
#   start_xvfb FIRST LAST LOG   starts Xvfb on the first free display number
#                               from FIRST to LAST, exports DISPLAY, sets
#                               xvfb_pid, and returns once X answers; fails
#                               when no Xvfb came up (LOG says why).
#   wait_for_window TITLE SECONDS [PID]
#                               prints the id of a window whose name matches
#                               the regular expression TITLE once it is
#                               mapped and viewable; fails after SECONDS, or
#                               once the process PID (that shows it) ended.
# Both wait as long as a busy machine needs, and no longer.

start_xvfb() {
  local number display_file waited
  : >"$3"
  for number in $(seq "$1" "$2"); do
    [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] && continue
    # -displayfd: Xvfb writes the display's number there once it takes
    # connections. Another test may have taken the number since it was
    # seen free: then this Xvfb ends and the next number is tried.
    display_file=$(mktemp "${TMPDIR:-/tmp}/vordex-xvfb.XXXXXX")
    # -noreset: no reset of the server when its last client leaves, when the
    # next one (the next dialog program) may find no display to connect to.
    Xvfb ":$number" -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >>"$3" 2>&1 &
    xvfb_pid=$!
    for ((waited = 0; waited < 1200; waited++)); do  # up to 2 minutes
      [[ -s $display_file ]] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [[ $(<"$display_file") == "$number" ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
      rm -f -- "$display_file"
      export DISPLAY=":$number"
      # A client's first request answered: the display is ours and working.
      for ((waited = 0; waited < 600; waited++)); do  # up to 1 minute
        timeout 10 xdotool getmouselocation >/dev/null 2>&1 && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
      done
      echo "start_xvfb: display :$number does not answer" >>"$3"
    fi
    rm -f -- "$display_file"
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  echo "start_xvfb: no display from :$1 to :$2 came up" >>"$3"
  return 1
}

wait_for_window() {
  local deadline=$((SECONDS + $2)) window
  while ((SECONDS < deadline)); do
    # --onlyvisible: mapped and viewable, so that it takes the focus and keys.
    window=$(timeout 10 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [[ -n $window ]] && { echo "$window"; return 0; }
    [[ -z ${3:-} ]] || kill -0 "$3" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
