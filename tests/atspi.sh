#!/usr/bin/env bash
# The real program as a screen reader sees it: in a network namespace of its
# own, with an X server, a session bus and the accessibility bus, a datagram
# arrives on port 2000, then the history's text and the controls' names are
# read through AT-SPI. The X server, the buses, the program and the reader
# run as an ordinary user (tests/user_lib.sh).
set -u
lanchat=$1 udp_tool=$2
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || {
  echo "FAIL: this test creates a network namespace and must run as root (or with sudo without a password)"; exit 1; }

# First run, as root (only root makes a network namespace): make the
# namespace, bring its loopback up and start again inside.
if [ -z "${LANCHAT_ATSPI_NS:-}" ]; then
  ns=lcatspi$$
  if ! ip netns add "$ns" 2>/tmp/$ns.err; then
    echo "FAIL: cannot create a network namespace here: $(cat /tmp/$ns.err)"; rm -f /tmp/$ns.err; exit 1
  fi
  rm -f /tmp/$ns.err
  trap 'ip netns del "$ns"' EXIT
  ip netns exec "$ns" ip link set lo up
  ip netns exec "$ns" env LANCHAT_ATSPI_NS="$ns" "$0" "$@"
  exit $?
fi

. "$here/x11_lib.sh"
. "$here/bus_lib.sh"
. "$here/user_lib.sh"
x11_need
for tool in dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "FAIL: missing $tool (Debian packages dbus-x11, at-spi2-core)"; exit 1; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "FAIL: missing pyatspi (Debian package python3-pyatspi)"; exit 1; }

user_make
session_start
user_session
lanchat=$(user_copy "$lanchat") reader=$(user_copy "$here/atspi_read.py")

x11_start "$as_user"; pids+=($X_PID)
export DISPLAY=$X_DISPLAY

bus_start "$as_user"

export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
user_pass QT_QPA_PLATFORM QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON NO_AT_BRIDGE
"$as_user" "$lanchat" 2>lanchat_atspi.log & pids+=($!)
window=$(x11_window "$DISPLAY" Form1)
[ -n "$window" ] || { echo "FAIL: the window did not show"; cat lanchat_atspi.log; exit 1; }

nick="Zoé" message="Bonjour à tous"
hex=$(printf '%s a dit :%s' "$nick" "$message" | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
"$udp_tool" send 127.0.0.1 2000 "$hex" || { echo "FAIL: the datagram was not sent"; exit 1; }

"$as_user" /usr/bin/python3 "$reader" "$nick" "$message"
