# A private session bus and the accessibility bus found through it, for the
# tests that read the program as assistive technology does. Sourced.

# session_start: a folder of the test's own in `work` (kept when
# LANCHAT_KEEP is set), and the processes in `pids` ended when the test
# ends, whatever way it ends.
session_start() {
  work=$(mktemp -d)
  [ -z "${LANCHAT_KEEP:-}" ] || echo "files kept in $work"
  pids=()
  trap session_end EXIT
}
session_end() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  [ -n "${LANCHAT_KEEP:-}" ] || rm -rf "$work"
}

# bus_start [PREFIX...]: starts both, optionally through a prefix such as
# "$as_user" (user_lib.sh), exports DBUS_SESSION_BUS_ADDRESS and adds their
# processes to the caller's `pids` array; fails the test if the bus does not
# start.
bus_start() {
  local bus
  bus=$("$@" dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) || {
    echo "FAIL: the session bus did not start"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  pids+=($(sed -n 2p <<<"$bus"))
  "$@" /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 100); do
    "$@" dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 && return 0
    sleep 0.1
  done
}
