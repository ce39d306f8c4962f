# A private session bus and the accessibility bus found through it, for the
# tests that read the program as assistive technology does. Sourced.

# bus_start: starts both, exports DBUS_SESSION_BUS_ADDRESS and adds their
# processes to the caller's `pids` array; fails the test if the bus does not
# start.
bus_start() {
  local bus
  bus=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) || {
    echo "FAIL: the session bus did not start"; exit 1; }
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  pids+=($(sed -n 2p <<<"$bus"))
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 && return 0
    sleep 0.1
  done
}
