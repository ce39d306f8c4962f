#!/usr/bin/env bash
# The real program on a real Wayland compositor: sway with its headless
# backend. The window shows with the desktop entry's id as its app_id; a
# datagram arrives and the history holds it (read through AT-SPI); a second
# window takes the focus, and the next message marks the first urgent; the
# compositor closes it and the program ends with code 0.
# Run inside a network namespace of its own (tests/private_net.sh); sway,
# the buses and the program run as an ordinary user, udp_tool and swaymsg
# (the other hosts, the test's look at the compositor) as root.
set -u
lanchat=$1 udp_tool=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/bus_lib.sh"
. "$here/user_lib.sh"
for tool in sway swaymsg dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher setpriv; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: missing $tool (Debian packages sway, dbus-x11, at-spi2-core)"; exit 1; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "FAIL: missing pyatspi (Debian package python3-pyatspi)"; exit 1; }

user_make
session_start
user_session
lanchat=$(user_copy "$lanchat") reader=$(user_copy "$here/atspi_read.py")
failures=0 passes=0
# Each check is named before it runs: a run that hangs shows where.
check() {
  echo "-- $1"
  if eval "$2"; then passes=$((passes + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi
}

# sway in the user's runtime folder, without Xwayland: the program runs on
# Wayland alone.
printf 'output HEADLESS-1 resolution 1024x768\nxwayland disable\n' >"$work/config"
"$as_user" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/config" >"$work/sway.log" 2>&1 & pids+=($!)
for _ in $(seq 100); do
  socket=$(cd "$user_runtime" && ls wayland-[0-9] 2>/dev/null | head -n 1)
  ipc=$(ls "$user_runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1)
  [ -n "$socket" ] && [ -n "$ipc" ] && break
  sleep 0.1
done
[ -n "$socket" ] && [ -n "$ipc" ] || { echo "FAIL: sway did not start"; tail -5 "$work/sway.log"; exit 1; }
export SWAYSOCK=$ipc

bus_start "$as_user"

# view PID FIELD: a field of the program's window in sway's tree.
view() {
  swaymsg -t get_tree | /usr/bin/python3 -c '
import json, sys
def walk(node):
    yield node
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from walk(child)
for node in walk(json.load(sys.stdin)):
    if node.get("pid") == int(sys.argv[1]):
        print(node.get(sys.argv[2]))' "$1" "$2"
}
wait_view() { # PID FIELD VALUE
  for _ in $(seq 100); do [ "$(view "$1" "$2")" = "$3" ] && return 0; sleep 0.1; done
  return 1
}

send() { # NICK MESSAGE
  local hex
  hex=$(printf '%s a dit :%s' "$1" "$2" | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
  # To the broadcast address, which every instance hears.
  "$udp_tool" send 127.255.255.255 2000 "$hex" || { echo "FAIL: the datagram was not sent"; exit 1; }
}

export WAYLAND_DISPLAY=$socket QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
user_pass QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON
unset DISPLAY QT_QPA_PLATFORM
"$as_user" "$lanchat" 2>"$work/lanchat.log" & p1=$!; pids+=($p1)
check "the window shows, app_id io.github.lanchat.lanchat" \
  'wait_view $p1 app_id io.github.lanchat.lanchat'
check "it shows the whole window (title Form1)" '[ "$(view $p1 name)" = Form1 ]'

send "Zoé" "Bonjour à tous"
check "the history holds the message" \
  '"$as_user" /usr/bin/python3 "$reader" "Zoé" "Bonjour à tous" >"$work/atspi.txt" || { cat "$work/atspi.txt"; false; }'

# A second window takes the focus; a message then marks the first urgent.
"$as_user" "$lanchat" 2>>"$work/lanchat.log" & p2=$!; pids+=($p2)
check "a second window takes the focus" 'wait_view $p2 focused True'
check "the first is not urgent before a message" '[ "$(view $p1 urgent)" = False ]'
send "Ana" "Salut"
check "a message marks the inactive window urgent" 'wait_view $p1 urgent True'
swaymsg "[pid=$p1] focus" >/dev/null
check "activated, it is urgent no more" 'wait_view $p1 urgent False'

swaymsg "[pid=$p1] kill" >/dev/null
timeout 5 tail --pid=$p1 -f /dev/null; wait $p1; rc=$?
check "closed by the compositor, it ends with code 0 (got $rc)" '[ "$rc" -eq 0 ]'
kill -TERM $p2; wait $p2

[ "$failures" -eq 0 ] || { echo "--- lanchat"; tail -5 "$work/lanchat.log"; }
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
