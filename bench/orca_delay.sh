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
for tool in Xvfb xdotool dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher orca \
  speech-dispatcher /usr/lib/speech-dispatcher-modules/sd_generic; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 0; }
done

session_start
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8 LANGUAGE= LC_ALL=
mkdir -p "$XDG_RUNTIME_DIR" "$work/speechd/modules" "$work/orca" && chmod 700 "$XDG_RUNTIME_DIR"
export LANCHAT_SPOKEN=$work/spoken.log
spoken=$LANCHAT_SPOKEN
: >"$spoken"
x11_start; pids+=($X_PID)
export DISPLAY=$X_DISPLAY
bus_start
cat >"$work/speechd/speechd.conf" <<EOF
CommunicationMethod "unix_socket"
SocketPath "$work/speechd.sock"
LogLevel 3
LogDir "$work"
DefaultModule log
DefaultLanguage "en"
AddModule "log" "sd_generic" "log.conf"
AudioOutputMethod "alsa"
AudioALSADevice "null"
EOF
cat >"$work/speechd/modules/log.conf" <<'EOF'
GenericExecuteSynth "printf '%s' \'$DATA\' | tr '\\n' ' ' >> \"$LANCHAT_SPOKEN\"; echo >> \"$LANCHAT_SPOKEN\""
GenericCmdDependency "printf"
GenericMaxChunkLength 100000
GenericDelimiters "\x01"
GenericLanguage "en" "en" "utf-8"
AddVoice "en" "MALE1" "en"
EOF
speech-dispatcher -s -t 0 -C "$work/speechd" -S "$work/speechd.sock" -c unix_socket \
  -L "$work" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 100); do [ -S "$work/speechd.sock" ] && break; sleep 0.1; done
export SPEECHD_ADDRESS=unix_socket:$work/speechd.sock
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
