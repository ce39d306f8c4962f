#!/usr/bin/env bash
# Shows the Windows build of lanchat under Wine on a virtual screen (Xvfb),
# in a network namespace of its own: sends it a message in Windows-1252 from
# Linux, then types a nickname and a message into its window and clicks
# « Envoyer », saves a picture of the window, and clicks « Quitter ». Says
# how long the window took to show and the program took to end.
#   [MESSAGES=N] scripts/wine_screenshot.sh [EXE] [PNG]
# (defaults: build/windows/app/lanchat.exe, build/windows/wine-window.png).
# Installs what it needs (WINE_PACKAGES in scripts/common.sh); the Wine
# prefix is made under the build folder at the first run.
set -eu
cd "$(dirname "$0")/.."
exe=$(realpath "${1:-build/windows/app/lanchat.exe}")
out=$(realpath -m "${2:-build/windows/wine-window.png}")
if [ -z "${LANCHAT_PRIVATE_NET:-}" ]; then
  . scripts/common.sh
  install_missing "${WINE_PACKAGES[@]}"
  exec env LANCHAT_PRIVATE_NET=1 tests/private_net.sh "$0" "$exe" "$out"
fi
. scripts/common.sh

wine=$(command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$(dirname "$exe")/wine-screenshot-prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
work=$(mktemp -d)
display=
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if [ ! -d "$WINEPREFIX" ]; then
  # (wineboot says it misses the 32-bit part, which nothing here needs)
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # Wine has no Comic Sans MS: Comic Neue (fonts-comic-neue) stands for it.
  "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Comic Sans MS' /d 'Comic Neue' /f \
    >/dev/null 2>&1
fi
# The server runs before the program, so that its start-up is the program's alone.
"$wineserver" -p 2>/dev/null || true # (one may run already, from wineboot)
"$wine" cmd /c exit >/dev/null 2>&1 || true

now() { date +%s%N; }
start=$(now)
"$wine" "$exe" >"$work/out.log" 2>&1 &
program=$!
window=
for _ in $(seq 600); do
  window=$(xdotool search --name '^Form1$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || { echo "FAIL: lanchat.exe ended:"; cat "$work/out.log"; exit 1; }
  sleep 0.02
done
[ -n "$window" ] || { echo "FAIL: no window"; exit 1; }
shown=$(now)
wait_for_udp_port 2000 || { echo "FAIL: port 2000 not bound"; exit 1; }
echo "window shown after $(((shown - start) / 1000000)) ms"

# The client area's origin on the screen; the layout is at 96 DPI.
eval "$(xdotool getwindowgeometry --shell "$window")"
at() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.3; }

# MESSAGES=N sends N of them (1 by default), numbered past the first: the
# history then shows its last lines.
MESSAGES=${MESSAGES:-1} python3 - <<'PY'
import os, socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for i in range(int(os.environ["MESSAGES"])):
    text = "José a dit :" + "Ça coûte 5 € — l'œuvre… « déjà » vue" + (f" ({i + 1})" if i else "")
    s.sendto(text.encode("cp1252") + b"\0", ("127.0.0.1", 2000))
    time.sleep(0.01)
PY
sleep 0.5
at 150 154 # the nickname
xdotool type --delay 20 'Zoé'
at 200 204 # the message
xdotool type --delay 20 'Bonjour à tous, ça va ? 20 € ; cœur'
at 520 196 # « Envoyer »
sleep 1
python3 scripts/x11_screenshot.py "$out" "$X" "$Y" "$WIDTH" "$HEIGHT"
echo "picture: $out"

quit=$(now)
at 588 388 # « Quitter »
for _ in $(seq 250); do kill -0 "$program" 2>/dev/null || break; sleep 0.02; done
if kill -0 "$program" 2>/dev/null; then echo "FAIL: still running 5 s after « Quitter »"; exit 1; fi
echo "ended $((($(now) - quit) / 1000000)) ms after « Quitter »"
cat "$work/out.log"
