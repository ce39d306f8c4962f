#!/usr/bin/env bash
# The real program, offscreen: it starts, listens on UDP port 2000, and ends
# with code 0 when asked to close. Without any display it says so and fails.
set -u
lanchat=$1
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$lanchat" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] || [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ] || [[ "$out" != *affichage* ]]; then
  echo "FAIL: without a display expected one line and a non-zero code, got $rc: $out"; exit 1
fi

QT_QPA_PLATFORM=offscreen "$lanchat" & pid=$!
for _ in $(seq 100); do
  grep -q ':07D0 ' /proc/net/udp && break   # port 2000 in hex
  sleep 0.05
done
grep -q ':07D0 ' /proc/net/udp || { echo "FAIL: not listening on UDP port 2000"; kill -9 $pid; exit 1; }
kill -TERM $pid
wait $pid; rc=$?
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc after closing"; exit 1; }
echo "1 passed, 0 failed"
