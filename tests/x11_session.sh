#!/usr/bin/env bash
# The real program in a real X server: two instances chat, accents included;
# "Quitter" ends with code 0; a port held by another program gives one error
# box and code 1. A message to an inactive window asks for attention, both
# ways, until the window is activated. The X servers and the program run
# as an ordinary user; xdotool, xprop and udp_tool, which stand for the
# person and the other hosts, as root.
set -u
lanchat=$1 udp_tool=$2
. "$(dirname "$0")/x11_lib.sh"
. "$(dirname "$0")/user_lib.sh"
x11_need
user_make
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
user_session
lanchat=$(user_copy "$lanchat")
failures=0 passes=0
check() { if eval "$2"; then passes=$((passes + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi; }

x11_start "$as_user"; d1=$X_DISPLAY; pids+=($X_PID)
x11_start "$as_user"; d2=$X_DISPLAY; pids+=($X_PID)

DISPLAY=$d1 "$as_user" "$lanchat" 2>>lanchat.log & p1=$!; pids+=($p1)
DISPLAY=$d2 "$as_user" "$lanchat" 2>>lanchat.log & p2=$!; pids+=($p2)
w1=$(x11_window "$d1" Form1); w2=$(x11_window "$d2" Form1)
check "both windows shown" '[ -n "$w1" ] && [ -n "$w2" ]'

# Élodie writes from the first instance; the wire carries Windows-1252.
"$udp_tool" recv 2000 5000 >wire.hex & sniffer=$!
# The second window is not the active one (the pointer, which carries the
# focus here, is off it): it will ask for attention, which Qt requests from
# the window manager through the root window.
DISPLAY=$d2 xdotool mousemove 1000 700
DISPLAY=$d2 xev -root -event structure >root2.xev 2>/dev/null & pids+=($!)
sleep 0.5
check "no request for attention before a message" '! grep -q "_NET_WM_STATE" root2.xev'
sleep 0.3
x11_click "$d1" "$w1" $X_NICKNAME; x11_type "$d1" "Élodie"
x11_click "$d1" "$w1" $X_MESSAGE; x11_type "$d1" "Ça va très bien, merci !"
x11_click "$d1" "$w1" $X_SEND
wait $sniffer
expected=$(printf 'Élodie a dit :Ça va très bien, merci !' | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
check "the datagram on the wire" '[ "$(cat wire.hex)" = "$expected" ]'
sleep 0.5
check "the inactive window asks for attention" 'grep -q "_NET_WM_STATE" root2.xev'
# ... and sets the urgency flag of its WM_HINTS, which xprop reads; the
# window carries its desktop entry's id in WM_CLASS.
check "the urgency flag is set" 'DISPLAY=$d2 xprop -id "$w2" WM_HINTS | grep -qi urgen'
check "WM_CLASS names the desktop entry" \
  'DISPLAY=$d2 xprop -id "$w2" WM_CLASS | grep -qF "\"io.github.lanchat.lanchat\""'
for pair in "$d1 $w1" "$d2 $w2"; do
  history=$(x11_copy_history $pair)
  check "history on $pair" '[ "$history" = "$(printf "\nÉlodie a dit :\nÇa va très bien, merci !")" ]'
done
# Activated (the click gave it the focus), the window wants no more attention.
check "the urgency flag is cleared on activation" '! DISPLAY=$d2 xprop -id "$w2" WM_HINTS | grep -qi urgen'

# "Quitter" ends the program with code 0.
x11_click "$d1" "$w1" $X_QUIT
timeout 5 tail --pid=$p1 -f /dev/null; wait $p1; rc=$?
check "Quitter gives exit code 0 (got $rc)" '[ "$rc" -eq 0 ]'
kill -TERM $p2; wait $p2

# A port held without sharing: one error box, then exit code 1.
"$udp_tool" hold 2000 >held.txt & holder=$!; pids+=($holder)
sleep 0.2
check "port 2000 held by a socket that does not share it" 'grep -q held held.txt'
DISPLAY=$d1 "$as_user" "$lanchat" 2>>lanchat.log & p3=$!; pids+=($p3)
box=$(x11_window "$d1" lanchat)
count=$(DISPLAY=$d1 xdotool search --onlyvisible --name '.' 2>/dev/null | wc -l)
check "an error box is shown" '[ -n "$box" ]'
check "only the error box is shown (windows: $count)" '[ "$count" -eq 1 ]'
DISPLAY=$d1 xdotool windowfocus --sync "$box" key Return 2>/dev/null
timeout 5 tail --pid=$p3 -f /dev/null; wait $p3; rc=$?
check "a start-up failure gives exit code 1 (got $rc)" '[ "$rc" -eq 1 ]'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
