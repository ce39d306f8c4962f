#!/usr/bin/env bash
# Takes docs/window.png (the window as it starts), docs/screenshot.png (two
# instances after a short exchange, one message long enough to wrap) and
# docs/context-menu.png (the message box's context menu) and docs/find.png
# (the history's find box) in Xvfb at 96 dpi.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth xdotool xclip imagemagick
configure release
cmake --build --preset release -j"$(nproc)" >/dev/null
lanchat=$PWD/build/release/app/lanchat
. tests/x11_lib.sh
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
fifo=$(mktemp -u); mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1600x620x24 -dpi 96 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 & pids+=($!)
read -r number <"$fifo"; rm -f "$fifo"
d=:$number

DISPLAY=$d "$lanchat" 2>/dev/null & pids+=($!)
w1=$(x11_window "$d" Form1)
sleep 0.5
DISPLAY=$d import -window root -crop 691x559+192+8 +repage docs/window.png

DISPLAY=$d "$lanchat" 2>/dev/null & pids+=($!)
sleep 1
w2=$(DISPLAY=$d xdotool search --onlyvisible --name '^Form1$' | grep -v "^$w1\$" | head -n 1)
DISPLAY=$d xdotool windowmove "$w2" 900 8
sleep 0.3
x11_click "$d" "$w1" $X_NICKNAME; x11_type "$d" "Élodie"
x11_click "$d" "$w1" $X_MESSAGE; x11_type "$d" "Salut ! Ça va ?"
x11_click "$d" "$w1" $X_SEND
x11_click "$d" "$w2" $X_NICKNAME; x11_type "$d" "Zoé"
x11_click "$d" "$w2" $X_MESSAGE; x11_type "$d" "Très bien, merci. On déjeune à midi ?"
x11_click "$d" "$w2" $X_SEND
# A message of 150 characters, wider than the history: it shows wrapped.
x11_click "$d" "$w1" $X_MESSAGE; DISPLAY=$d xdotool key --window "$w1" ctrl+a BackSpace
x11_type "$d" "Oui, volontiers ! Je réserve une table pour cinq à la brasserie du coin : on se retrouve devant l'entrée à midi pile, et j'invite aussi Paul et Inès !"
x11_click "$d" "$w1" $X_SEND
sleep 0.5
DISPLAY=$d import -window root docs/screenshot.png

# The message box's context menu, in Qt's own French.
x11_click "$d" "$w2" $X_MESSAGE
DISPLAY=$d xdotool key --window "$w2" ctrl+a
DISPLAY=$d xdotool click 3
sleep 0.5
DISPLAY=$d import -window root -crop 700x420+882+8 +repage docs/context-menu.png
DISPLAY=$d xdotool key --window "$w2" Escape

# The history's find box, typed without accents nor capitals.
x11_click "$d" "$w1" $X_HISTORY
DISPLAY=$d xdotool key --window "$w1" ctrl+f
sleep 0.3
x11_type "$d" "dejeune"
sleep 0.5
DISPLAY=$d import -window root -crop 691x559+192+8 +repage docs/find.png
echo "docs/window.png, docs/screenshot.png, docs/context-menu.png and docs/find.png written"
