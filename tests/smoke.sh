#!/usr/bin/env bash
# The real program, offscreen: it starts, listens on UDP port 2000, and ends
# with code 0 when asked to close. Without a display, with one it cannot
# reach, or with a platform plugin that cannot load, it says so in one French
# line, naming the X11 or Wayland display it could not reach, and ends with
# code 1. Started as an ordinary user, as from a terminal.
set -u
lanchat=$1
. "$(dirname "$0")/../scripts/common.sh"
. "$(dirname "$0")/user_lib.sh"
user_make
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
user_session
lanchat=$(user_copy "$lanchat")
unset DISPLAY WAYLAND_DISPLAY

# Each start-up failure: one French line and exit code 1.
start_fails() { # WORD ENV...: the one line must hold WORD
  local word=$1; shift
  out=$("$as_user" "$@" "$lanchat" 2>&1)
  rc=$?
  if [ "$rc" -ne 1 ] || [ "$(printf '%s\n' "$out" | wc -l)" -ne 1 ] || [[ "$out" != *"$word"* ]]; then
    echo "FAIL: with $* expected one line holding '$word' and code 1, got $rc: $out"; exit 1
  fi
}
start_fails "DISPLAY n'est pas défini"
display=:$((500 + RANDOM % 400))
while [ -e "/tmp/.X11-unix/X${display#:}" ]; do display=:$((500 + RANDOM % 400)); done
start_fails "impossible de joindre l'affichage graphique « $display »" DISPLAY=$display
start_fails "impossible de joindre l'affichage graphique" QT_QPA_PLATFORM=xcb DISPLAY=$display
start_fails "impossible de joindre l'affichage graphique « lanchat-nosuch » :" WAYLAND_DISPLAY=lanchat-nosuch
start_fails "module d'affichage de Qt « nosuch »" QT_QPA_PLATFORM=nosuch DISPLAY=:0

"$as_user" QT_QPA_PLATFORM=offscreen "$lanchat" & pid=$!
wait_for_udp_port 2000 || { echo "FAIL: not listening on UDP port 2000"; kill -9 $pid; exit 1; }
kill -TERM $pid
wait $pid; rc=$?
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc after closing"; exit 1; }
echo "1 passed, 0 failed"
