# Helpers for tests that drive the real program in a real X server (Xvfb),
# the way a user would: xdotool moves the mouse and types, xclip reads what
# the program copies. Sourced by the test scripts.

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

x11_need() {
  local missing=""
  for tool in Xvfb xdotool xclip xev; do command -v "$tool" >/dev/null || missing+=" $tool"; done
  if [ -n "$missing" ]; then
    echo "FAIL: missing$missing (Debian packages xvfb, xdotool, xclip, x11-utils; the README's test command installs them)"
    exit 1
  fi
}

# x11_start [PREFIX...]: starts an Xvfb at 96 dpi, optionally through a prefix
# such as `ip netns exec h1`; sets X_DISPLAY and X_PID.
x11_start() {
  local fifo; fifo=$(mktemp -u); mkfifo "$fifo"
  # -noreset: an X server resets when its last client leaves, and refuses
  # connections meanwhile; the readiness check below is such a client.
  "$@" Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
  X_PID=$!
  read -r -t 10 number <"$fifo"; rm -f "$fifo"
  [ -n "${number:-}" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
  X_DISPLAY=":$number"
  for _ in $(seq 50); do
    DISPLAY=$X_DISPLAY "$@" xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "FAIL: Xvfb on $X_DISPLAY does not answer"; exit 1
}

# x11_window DISPLAY NAME: waits for a visible window of that name; prints its id.
x11_window() {
  local id=""
  for _ in $(seq 300); do
    id=$(DISPLAY=$1 xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

# x11_click DISPLAY WINDOW X Y: a left click at a point of the window's client area.
x11_click() {
  DISPLAY=$1 xdotool mousemove --window "$2" "$3" "$4" click 1
  sleep 0.2
}

# x11_type DISPLAY TEXT: pastes TEXT into the focused control (xdotool's own
# typing loses the case of accented capitals such as "É").
x11_type() {
  printf '%s' "$2" | DISPLAY=$1 xclip -selection clipboard -t UTF8_STRING -loops 1 -i &
  sleep 0.2
  DISPLAY=$1 xdotool key ctrl+v
  wait $! 2>/dev/null
  sleep 0.2
}

# x11_copy_history DISPLAY WINDOW: selects the whole history and copies it;
# prints what the clipboard then holds.
x11_copy_history() {
  x11_click "$1" "$2" $X_HISTORY
  DISPLAY=$1 xdotool key ctrl+a ctrl+c
  sleep 0.3
  DISPLAY=$1 timeout 5 xclip -o -selection clipboard
}

# Where the controls are, in client coordinates.
X_NICKNAME="140 154"
X_MESSAGE="260 204"
X_SEND="520 196"
X_QUIT="588 388"
X_HISTORY="200 420"
