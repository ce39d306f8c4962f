#!/usr/bin/env bash
# 16.: how long Orca takes to speak a key after a flood of short messages.
# The real program in Xvfb with Orca, speaking through a speech-dispatcher
# whose synthesiser writes each text to a log (as tests/screen_reader.sh
# does). The focus in the message box, Tab is pressed and the time until
# Orca says the control it reaches is read from the log: once idle, then at
# the end of a flood of SECONDS s from 50 addresses at 2,000 messages a
# second. Waits at most WAIT s for it. Prints both delays in ms (-1 for one
# not spoken in time) on a line, then what was said; only why, if Orca
# could not be started.
#
#   orca_delay.sh LANCHAT BENCH_MANY_SENDER BROADCAST PORT SECONDS WAIT
set -u
lanchat=$1 many=$2 broadcast=$3 port=$4 seconds=$5 wait=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/x11_lib.sh"
. "$here/../tests/bus_lib.sh"
. "$here/../tests/speech_lib.sh"
for tool in Xvfb xdotool dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher orca \
  speech-dispatcher /usr/lib/speech-dispatcher-modules/sd_generic; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 0; }
done

speech_session
orca -u "$work/orca" >"$work/orca.out" 2>&1 & pids+=($!)
for _ in $(seq 300); do [ -s "$spoken" ] && break; sleep 0.1; done
[ -s "$spoken" ] || { echo "Orca said nothing at start-up"; exit 0; }

export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$lanchat" 2>"$work/lanchat.log" & pids+=($!)
window=$(x11_window "$DISPLAY" Form1)
[ -n "$window" ] || { echo "the window did not show"; exit 0; }
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 1
x11_click "$DISPLAY" "$window" $X_MESSAGE
sleep 2 # Orca speaks the message box

now() { date +%s%N; }
# tab [WANT]: presses Tab, waits for Orca to say WANT (a line of its log;
# any line, if none) after it; prints the delay in ms and what was said, or
# -1. What Orca says first is the key itself ("tab"), then the control.
tab() {
  local want=${1:-} before start line
  before=$(wc -l <"$spoken")
  start=$(now)
  xdotool key Tab
  while [ $(($(now) - start)) -lt $((wait * 1000000000)) ]; do
    if [ -z "$want" ]; then
      line=$(tail -n +"$((before + 1))" "$spoken" | head -n 1)
    else
      line=$(tail -n +"$((before + 1))" "$spoken" | grep -m1 -x -F -- "$want")
    fi
    if [ -n "$line" ]; then
      echo "$((($(now) - start) / 1000000)) $line"
      return
    fi
    sleep 0.02
  done
  echo -1
}

idle=$(tab)
said=${idle#* }
[ "$idle" != -1 ] || { echo "Orca did not speak Tab"; exit 0; }
xdotool key shift+Tab
sleep 2
"$many" "$broadcast" "$port" 50 "$seconds" 0 2000 >/dev/null
flood=$(tab "$said")
echo "${idle%% *} ${flood%% *}"
echo "Tab spoken as \"$said\"; $(wc -l <"$spoken") lines spoken in all"
