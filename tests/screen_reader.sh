#!/usr/bin/env bash
# The real program with a real screen reader: Orca, speaking through
# speech-dispatcher, whose synthesiser is a command that writes each text it
# is given to a log. A datagram arrives with the history focused, then
# another with the message box focused: each time Orca must say who wrote
# and what, "<pseudo> a dit : <message>", in one utterance. Then a flood of
# short messages from a few addresses, with the message box focused, then
# with the history focused: Orca must say how many came ("N nouveaux
# messages") and, once it ends, answer a Tab at once (a screen reader
# flooded with events answers it only after working through them all).
# Run inside a network namespace of its own (tests/private_net.sh).
set -u
lanchat=$1 udp_tool=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x11_lib.sh"
. "$here/bus_lib.sh"
. "$here/speech_lib.sh"
x11_need
for tool in dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher orca speech-dispatcher \
  /usr/lib/speech-dispatcher-modules/sd_generic; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: missing $tool (Debian packages dbus-x11, at-spi2-core, orca, speech-dispatcher)"; exit 1; }
done

speech_session

orca -u "$work/orca" --debug-file "$work/orca.debug" >"$work/orca.out" 2>&1 & pids+=($!)
# Orca greets once it listens.
for _ in $(seq 300); do [ -s "$spoken" ] && break; sleep 0.1; done
[ -s "$spoken" ] || { echo "FAIL: Orca said nothing at start-up"; tail -5 "$work/orca.out"; exit 1; }

export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$lanchat" 2>"$work/lanchat.log" & pids+=($!)
window=$(x11_window "$DISPLAY" Form1)
[ -n "$window" ] || { echo "FAIL: the window did not show"; cat "$work/lanchat.log"; exit 1; }
DISPLAY=$DISPLAY xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 1

failures=0 passes=0
# arrival WHAT KEY NICK MESSAGE: from the message box, KEY moves the focus
# as a user of a screen reader does (Shift+Tab reaches the history); then a
# datagram arrives, and Orca must say it.
arrival() {
  local what=$1 key=$2 nick=$3 message=$4
  x11_click "$DISPLAY" "$window" $X_MESSAGE
  [ "$key" = none ] || DISPLAY=$DISPLAY xdotool key "$key"
  sleep 1.5 # Orca speaks the focused control first
  local before; before=$(wc -l <"$spoken")
  local hex
  hex=$(printf '%s a dit :%s' "$nick" "$message" | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
  "$udp_tool" send 127.0.0.1 2000 "$hex" || { echo "FAIL: the datagram was not sent"; exit 1; }
  local said="" want="$nick a dit : $message"
  for _ in $(seq 100); do
    said=$(tail -n +"$((before + 1))" "$spoken")
    grep -qF "$want" <<<"$said" && break
    sleep 0.1
  done
  sleep 0.5 # anything said after it is shown too
  said=$(tail -n +"$((before + 1))" "$spoken")
  echo "Orca, $what focused, said: $(sed 's/ *$//' <<<"$said" | tr '\n' '|')"
  if grep -qF "$want" <<<"$said"; then
    passes=$((passes + 1))
  else
    echo "FAIL: with $what focused, Orca did not say \"$want\" in one utterance"
    failures=$((failures + 1))
  fi
}

arrival "the history" shift+Tab "Ana" "Salut"
arrival "the message box" none "Zoé" "Bonjour à tous"

# flood WHAT KEY TARGET SECONDS ADDRESSES RATE: short messages with WHAT
# focused (KEY from the message box), then a Tab, which takes the focus to
# TARGET.
flood() {
  local what=$1 key=$2 target=$3 seconds=$4 addresses=$5 rate=$6
  x11_click "$DISPLAY" "$window" $X_MESSAGE
  [ "$key" = none ] || DISPLAY=$DISPLAY xdotool key "$key"
  sleep 1.5
  local before; before=$(wc -l <"$spoken")
  local sent
  sent=$("$udp_tool" pace 127.0.0.1 2000 "$seconds" "$addresses" "$rate") || {
    echo "FAIL: the flood was not sent"; exit 1; }
  local during; during=$(wc -l <"$spoken")
  local pressed; pressed=$(date +%s%3N)
  DISPLAY=$DISPLAY xdotool key Tab
  local answered="" said
  for _ in $(seq "${LANCHAT_TAB_WAIT:-150}"); do
    said=$(tail -n +"$((during + 1))" "$spoken")
    if grep -q "$target" <<<"$said"; then answered=$(date +%s%3N); break; fi
    sleep 0.1
  done
  said=$(tail -n +"$((before + 1))" "$spoken")
  # The synthesiser may get a count in pieces, a line each.
  local counts; counts=$(tr '\n' ' ' <<<"$said" | tr -s ' ' | grep -o "[0-9]* nouveaux messages" | wc -l)
  local events
  # Events of objects gone by the time Orca gets to them show as [DEAD].
  events=$(grep -ac "EVENT MANAGER: [a-z]*:[a-z:-]* for " "$work/orca.debug")
  echo "flood of $sent messages from $addresses addresses in $seconds s, $what focused: Orca had $events events" \
    "in all, said $counts counts, was in deluge $(grep -ac 'DELUGE' "$work/orca.debug") times"
  echo "Orca, after the flood, said: $(tail -n +"$((during + 1))" "$spoken" | head -5 | sed 's/ *$//' | tr '\n' '|')"
  if [ -n "$answered" ]; then
    echo "Orca answered the Tab after $((answered - pressed)) ms"
  else
    echo "Orca did not answer the Tab within $((${LANCHAT_TAB_WAIT:-150} / 10)) s"
  fi
  # Said within 3 s of the key: the answer of a screen reader that keeps up.
  if [ -n "$answered" ] && [ $((answered - pressed)) -lt 3000 ] && [ "$counts" -gt 0 ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: during a flood with $what focused Orca must say how many messages came, and answer a Tab at once after it"
    failures=$((failures + 1))
  fi
}

flood "the message box" none "Envoyer" 10 5 2000
flood "the history" shift+Tab "Message" 5 5 2000

[ "$failures" -eq 0 ] || { echo "--- orca"; tail -20 "$work/orca.out"; grep -a "SPEECH OUTPUT" "$work/orca.debug" | tail -20; }
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
