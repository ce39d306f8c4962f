#!/usr/bin/env bash
# Started where no session bus runs, the program starts none: no dbus-daemon
# outlives it. Runs in a network namespace of its own, loopback up (made as
# root, which alone may); the X server and the program run as an ordinary
# user, whose runtime folder has no bus in it.
set -u
lanchat=$1
if [ -z "${LANCHAT_IN_NETNS:-}" ]; then
  [ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || { echo "FAIL: needs root for a network namespace"; exit 1; }
  ns=lcbus$$
  ip netns add "$ns" || { echo "FAIL: cannot create a network namespace"; exit 1; }
  trap 'ip netns del "$ns"' EXIT
  ip netns exec "$ns" ip link set lo up
  LANCHAT_IN_NETNS=1 ip netns exec "$ns" "$0" "$@"; exit $?
fi
. "$(dirname "$0")/x11_lib.sh"
. "$(dirname "$0")/user_lib.sh"
x11_need
command -v dbus-launch >/dev/null || { echo "FAIL: dbus-launch missing (Debian package dbus-x11)"; exit 1; }
user_make
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
user_session
lanchat=$(user_copy "$lanchat")
x11_start "$as_user"; pids+=($X_PID)
# A bus started for this display carries it in its environment.
ours() {
  for pid in $(pgrep -x dbus-daemon) $(pgrep -x dbus-launch); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "DISPLAY=$X_DISPLAY" && echo "$pid"
  done
}
# A bus left by an earlier test whose X server had the same number is not
# this program's.
before=" $(ours | tr '\n' ' ') "
unset DBUS_SESSION_BUS_ADDRESS
DISPLAY=$X_DISPLAY "$as_user" "$lanchat" 2>/dev/null & pid=$!
w=$(x11_window "$X_DISPLAY" Form1)
[ -n "$w" ] || { echo "FAIL: no window"; exit 1; }
sleep 1
kill -TERM $pid; wait $pid; rc=$?
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc"; exit 1; }
sleep 0.3
started=$(for p in $(ours); do [[ $before == *" $p "* ]] || echo "$p"; done)
if [ -n "$started" ]; then
  echo "FAIL: a session bus outlives the program: $(ps -o pid,args -p $(echo $started | tr ' ' ,))"
  kill $started 2>/dev/null; exit 1
fi
echo "1 passed, 0 failed"
