#!/usr/bin/env bash
# The real program with a real screen reader: Orca, speaking through
# speech-dispatcher, whose synthesiser is a command that writes each text it
# is given to a log. Datagrams arrive with the focus in the history (come
# there by Tab, then moved by arrow keys, Page Up, Ctrl+End, a click), in the
# message box and on a button: each time Orca must say who wrote and what,
# "<pseudo> a dit : <message>", in one utterance, once. Then a flood of
# short messages from a few addresses, with the message box focused, then
# with the history focused: Orca must say how many came ("N nouveaux
# messages") and, once it ends, answer a Tab at once (a screen reader
# flooded with events answers it only after working through them all).
# Then a history of 2.4 million characters: Ctrl+A in it is said as a text
# box's ("entire document selected"), Delete as a text box's ("Selection
# deleted"), and Orca answers a Tab within a second after each. Last, the
# program started with no screen reader listening, then Orca: the next
# arrival is said, whether Qt found the accessibility bus at start-up (the
# root window names it on X11) or not (as on Wayland). The find box says
# that it opened, then its result (« 1 sur 1 », « Aucun résultat »).
# Run inside a network namespace of its own (tests/private_net.sh); the
# whole session (X server, buses, speech-dispatcher, Orca, the program) is
# an ordinary user's, xdotool and udp_tool (the person's keys, the other
# hosts) run as root.
set -u
lanchat=$1 udp_tool=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/x11_lib.sh"
. "$here/bus_lib.sh"
. "$here/speech_lib.sh"
. "$here/user_lib.sh"
x11_need
for tool in dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher orca speech-dispatcher \
  /usr/lib/speech-dispatcher-modules/sd_generic; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: missing $tool (Debian packages dbus-x11, at-spi2-core, orca, speech-dispatcher)"; exit 1; }
done

user_make
speech_session "$as_user"
lanchat=$(user_copy "$lanchat")

# start_orca: Orca, until it greets (it then listens).
start_orca() {
  local before; before=$(wc -l <"$spoken")
  "$as_user" orca -u "$work/orca" --debug-file "$work/orca.debug" >>"$work/orca.out" 2>&1 &
  orca_pid=$!; pids+=($orca_pid)
  for _ in $(seq 300); do [ "$(wc -l <"$spoken")" -gt "$before" ] && break; sleep 0.1; done
  [ "$(wc -l <"$spoken")" -gt "$before" ] || {
    echo "FAIL: Orca said nothing at start-up"; tail -5 "$work/orca.out"; exit 1; }
}
# start_lanchat: the program, its window shown and active.
start_lanchat() {
  "$as_user" "$lanchat" 2>>"$work/lanchat.log" & lanchat_pid=$!; pids+=($lanchat_pid)
  window=$(x11_window "$DISPLAY" Form1)
  [ -n "$window" ] || { echo "FAIL: the window did not show"; cat "$work/lanchat.log"; exit 1; }
  DISPLAY=$DISPLAY xdotool windowactivate --sync "$window" 2>/dev/null || true
  sleep 1
}

start_orca
export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
user_pass QT_QPA_PLATFORM QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON
start_lanchat

failures=0 passes=0
# arrival WHAT NICK MESSAGE [XDOTOOL-ARGS...]: from the message box, the
# xdotool commands move the focus as a user of a screen reader does
# (Shift+Tab reaches the history); then a datagram arrives, and Orca must
# say it, once.
arrival() {
  local what=$1 nick=$2 message=$3; shift 3
  x11_click "$DISPLAY" "$window" $X_MESSAGE
  [ $# -eq 0 ] || DISPLAY=$DISPLAY xdotool "$@"
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
  sleep 0.7 # anything said after it is shown too
  said=$(tail -n +"$((before + 1))" "$spoken")
  echo "Orca, $what, said: $(sed 's/ *$//' <<<"$said" | tr '\n' '|')"
  if [ "$(grep -cF "$want" <<<"$said")" -eq 1 ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: with $what, Orca did not say \"$want\" once, in one utterance"
    failures=$((failures + 1))
  fi
}

arrival "the history focused by Tab" "Ana" "Salut" key shift+Tab
arrival "the history focused, after Up" "Bob" "Coucou" key shift+Tab Up
arrival "the history focused, after Page Up" "Cid" "Hop" key shift+Tab Prior
arrival "the history focused, after Ctrl+End" "Dan" "Hola" key shift+Tab ctrl+End
arrival "the history focused, after a click in it" "Eve" "Yo" \
  mousemove --window "$window" $X_HISTORY click 1
arrival "the message box focused" "Zoé" "Bonjour à tous"
arrival "the button focused" "Fay" "Hey" key Tab

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

# find_said WHAT WANT XDOTOOL-ARGS...: in the find box, Orca says WANT.
find_said() {
  local what=$1 want=$2; shift 2
  local before; before=$(wc -l <"$spoken")
  DISPLAY=$DISPLAY xdotool "$@"
  local said=""
  for _ in $(seq 40); do
    said=$(tail -n +"$((before + 1))" "$spoken" | tr '\n' ' ' | tr -s ' ')
    grep -qF "$want" <<<"$said" && break
    sleep 0.1
  done
  echo "Orca, $what, said: $said"
  if grep -qF "$want" <<<"$said"; then
    passes=$((passes + 1))
  else
    echo "FAIL: with $what, Orca did not say \"$want\""
    failures=$((failures + 1))
  fi
}
x11_click "$DISPLAY" "$window" $X_HISTORY
sleep 1.5
find_said "the find box opened" "Rechercher dans l'historique" key ctrl+f
find_said "a match typed" "1 sur 1" type --delay 100 coucou
find_said "no match typed" "Aucun résultat" type --delay 100 zz
DISPLAY=$DISPLAY xdotool key Escape
sleep 1

flood "the message box" none "Envoyer" 10 5 2000
flood "the history" shift+Tab "Message" 5 5 2000

# answer WHAT WANT MS XDOTOOL-ARGS...: the keys pressed, Orca must say WANT
# within MS milliseconds.
answer() {
  local what=$1 want=$2 limit=$3; shift 3
  local before; before=$(wc -l <"$spoken")
  DISPLAY=$DISPLAY xdotool "$@"
  local pressed; pressed=$(date +%s%3N)
  local answered=""
  for _ in $(seq 100); do
    if tail -n +"$((before + 1))" "$spoken" | grep -qF "$want"; then answered=$(date +%s%3N); break; fi
    sleep 0.05
  done
  echo "Orca, $what, said: $(tail -n +"$((before + 1))" "$spoken" | head -3 | cut -c1-80 | sed 's/ *$//' | tr '\n' '|')" \
    "${answered:+after $((answered - pressed)) ms}"
  if [ -n "$answered" ] && [ $((answered - pressed)) -le "$limit" ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: $what, Orca did not say \"$want\" within $limit ms"
    failures=$((failures + 1))
  fi
}

# A long history: short messages until it holds some 2.4 million
# characters, then the whole of it selected and deleted, with the keys as
# a person presses them (Ctrl released last).
x11_click "$DISPLAY" "$window" $X_MESSAGE
"$udp_tool" pace 127.0.0.1 2000 3 5 22000 >/dev/null || { echo "FAIL: the history was not filled"; exit 1; }
sleep 2
DISPLAY=$DISPLAY xdotool key shift+Tab
sleep 1.5
answer "after Ctrl+A in the long history" "entire document selected" 5000 keydown ctrl key a keyup ctrl
# The caret at the end: the history's length.
length=$(grep -ao "text-caret-moved for \[text | Historique des messages\] in \[application | lanchat\] ([0-9]*" \
  "$work/orca.debug" | tail -1 | grep -o "[0-9]*$")
echo "the history holds ${length:-?} characters"
[ "${length:-0}" -ge 2000000 ] || { echo "FAIL: the history was not filled"; failures=$((failures + 1)); }
answer "after a Tab from the selected history" "Message" 1000 key Tab
DISPLAY=$DISPLAY xdotool key shift+Tab
sleep 1.5
answer "after Delete in the selected history" "Selection deleted" 5000 key Delete
answer "after a Tab from the emptied history" "Message" 1000 key Tab

# late WHAT ROOT: the program started with no screen reader listening, the
# root window naming the accessibility bus or not (ROOT: kept, removed);
# then Orca starts, and must say the next arrival.
late() {
  local what=$1 root=$2
  kill "$orca_pid" "$lanchat_pid" 2>/dev/null
  wait "$orca_pid" "$lanchat_pid" 2>/dev/null
  "$as_user" dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:false >/dev/null
  [ "$root" = kept ] || DISPLAY=$DISPLAY xprop -root -remove AT_SPI_BUS
  start_lanchat
  start_orca
  sleep 1
  arrival "Orca started after the program ($what)" "Gil" "Re"
}
unset QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON
late "X11" kept
late "no bus on the root window" removed

[ "$failures" -eq 0 ] || { echo "--- orca"; tail -20 "$work/orca.out"; grep -a "SPEECH OUTPUT" "$work/orca.debug" | tail -20; }
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
