#!/usr/bin/env bash
# The real program under KDE Plasma 5.27: KWin with its virtual backend and
# plasmashell, which serves the notifications. KWin's scripting (loaded over
# D-Bus, printing to KWin's log) tells which window is active, which wants
# attention and which are notification popups. Another application's window
# has the focus when a message arrives: the chat wants attention and a popup
# shows it, and 10 s later (Plasma's popups last 5 s by default) it is still
# there and the server has closed nothing. A click in the popup's middle
# (fake_click, through KWin's fake input) makes plasmashell hand an
# activation token with the action: the chat comes up focused, wants
# attention no more, and the notification closes. The other window takes
# the focus back and a second message arrives; its action is invoked as
# Plasma's history does it over D-Bus, which hands no token: the program
# withdraws the notification.
# Run as root inside a network namespace of its own (tests/private_net.sh);
# KWin, plasmashell, the buses and the programs run as an ordinary user,
# udp_tool (the other host) as root.
set -u
lanchat=$1 udp_tool=$2 fake_click=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_lib.sh"
for tool in kwin_wayland plasmashell /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd dbus-send \
  dbus-monitor gjs; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: missing $tool (Debian packages kwin-wayland, plasma-workspace, plasma-desktop-data, kactivitymanagerd, qtwayland5, dbus-bin, gjs)"
    exit 1
  }
done

session_start
desktop_session
# KWin lets only a program whose desktop entry asks for it use fake input.
fake_click=$(user_copy "$fake_click")
printf '[Desktop Entry]\nType=Application\nName=fake_click\nExec=%s\nX-KDE-Wayland-Interfaces=%s\n' \
  "$(realpath "$fake_click")" org_kde_kwin_fake_input >"$work/share/applications/fake_click.desktop"
# A copy of KWin: the file capability of the machine's own keeps it from
# running here.
cp /usr/bin/kwin_wayland "$work/kwin_wayland"
"$as_user" QT_LOGGING_RULES=kwin_scripting=true "$work/kwin_wayland" --virtual --no-lockscreen \
  --socket wayland-lc --width 1024 --height 768 >"$work/kwin.log" 2>&1 & pids+=($!)
owned() { "$as_user" dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true; }
wait_owned() { for _ in $(seq 300); do owned "$1" && return 0; sleep 0.1; done; return 1; }
wait_owned org.kde.KWin || { echo "FAIL: KWin did not start"; tail -5 "$work/kwin.log"; exit 1; }
export WAYLAND_DISPLAY=wayland-lc
"$as_user" QT_QPA_PLATFORM=wayland /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd >/dev/null 2>&1 & pids+=($!)
wait_owned org.kde.ActivityManager || { echo "FAIL: kactivitymanagerd did not start"; exit 1; }
"$as_user" QT_QPA_PLATFORM=wayland plasmashell >"$work/plasma.log" 2>&1 & pids+=($!)
wait_owned org.freedesktop.Notifications ||
  { echo "FAIL: plasmashell serves no notifications"; tail -5 "$work/plasma.log"; exit 1; }
"$as_user" dbus-monitor --session "type='signal',interface='org.freedesktop.Notifications'" \
  "type='method_call',member='Notify'" "type='method_return'" >"$work/bus.log" 2>&1 & pids+=($!)

kwin_call() { # METHOD ARGUMENTS...: of KWin's scripting
  local method=$1; shift
  "$as_user" dbus-send --session --print-reply --dest=org.kde.KWin /Scripting "org.kde.kwin.Scripting.$method" "$@" >/dev/null
}
# kwin_js JS: runs JS in KWin's scripting, where `all` holds KWin's windows;
# prints what it hands to out().
kwin_js() {
  local name=lanchat$RANDOM$RANDOM
  printf 'const all = workspace.clientList();\nconst out = s => print("%s " + s);\n%s\n' "$name" "$1" \
    >"$work/$name.js"
  kwin_call loadScript "string:$work/$name.js" "string:$name"
  kwin_call start
  # (KWin may take a while to run it on a loaded machine.)
  for _ in $(seq 100); do grep -q "js: $name " "$work/kwin.log" && break; sleep 0.05; done
  kwin_call unloadScript "string:$name"
  sed -n "s/^js: $name //p" "$work/kwin.log"
}
# state PID: "active=… attention=… popups=N" as KWin sees the window of
# process PID and plasmashell's notification popups.
state() {
  kwin_js "const w = all.find(c => c.pid == $1);
out((w ? 'active=' + w.active + ' attention=' + w.demandsAttention : 'none') +
  ' popups=' + all.filter(c => c.notification).length);"
}
field() { state "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
wait_field() { # PID FIELD VALUE [TRIES]
  for _ in $(seq "${4:-100}"); do [ "$(field "$1" "$2")" = "$3" ] && return 0; sleep 0.1; done
  return 1
}
# The id plasmashell gave lanchat's notification: the reply to its Notify.
notification_id() {
  /usr/bin/python3 - "$work/bus.log" <<'EOF'
import re, sys
calls, lines = {}, open(sys.argv[1], errors="replace").read().split("\n")
for i, line in enumerate(lines):
    m = re.match(r"method call .* sender=(\S+) .* serial=(\d+) .*member=Notify$", line)
    if m and i + 1 < len(lines) and '"lanchat"' in lines[i + 1]:
        calls[(m[1], m[2])] = True
    m = re.match(r"method return .* destination=(\S+) serial=\d+ reply_serial=(\d+)", line)
    if m and (m[1], m[2]) in calls and i + 1 < len(lines):
        print(lines[i + 1].split()[-1])
EOF
}
# closed ID: the reasons the server gave for closing notification ID (1
# expired, 2 dismissed, 3 closed by the program), one a line.
closed() {
  awk -v id="$1" '/member=NotificationClosed/ { getline a; getline b; split(a, x, " "); split(b, y, " ")
    if (x[2] == id) print y[2] }' "$work/bus.log"
}

unset QT_QPA_PLATFORM
"$as_user" "$lanchat" 2>"$work/lanchat.log" & chat=$!; pids+=($chat)
# (The program's start-up is slow on a loaded machine.)
check "the chat is the active window" 'wait_field $chat active true 300'
desktop_other_window; other=$!; pids+=($other)
check "another window takes the focus" 'wait_field $other active true'
check "the chat has lost it" 'wait_field $chat active false'

send "Ana" "Salut"
check "the chat wants attention" 'wait_field $chat attention true'
check "a popup shows the notification" 'wait_field $chat popups 1'
sleep 10
id=$(notification_id | tail -n 1)
echo "10 s after the arrival: $(state $chat), notification ${id:-?}"
check "the popup is still there" '[ "$(field $chat popups)" = 1 ]'
check "the server has not closed the notification" '[ -n "$id" ] && [ -z "$(closed $id)" ]'

# A click in the middle of the popup, away from its buttons.
read -r x y <<<"$(kwin_js "const p = all.find(c => c.notification);
if (p) out(Math.round(p.x + p.width / 2) + ' ' + Math.round(p.y + p.height / 2));")"
echo "the popup's middle: ${x:-?},${y:-?}"
check "fake_click clicks there" '[ -n "${y:-}" ] && "$as_user" "$fake_click" "$x" "$y"'
check "the click brings the chat up focused" 'wait_field $chat active true'
check "it does not want attention any more" '[ "$(field $chat attention)" = false ]'
# (plasmashell may say so twice, with one reason)
check "the notification closes" \
  'for _ in $(seq 50); do [[ "$(closed $id | sort -u)" = [23] ]] && break; sleep 0.1; done
   [[ "$(closed $id | sort -u)" = [23] ]]'
check "its popup goes" 'wait_field $chat popups 0'
echo "after the click: $(state $chat), closed: $(closed $id | tr '\n' ' ')"

# The other window takes the focus back, and a second message arrives.
kwin_js "workspace.activeClient = all.find(c => c.pid == $other);" >/dev/null
check "the other window has the focus again" 'wait_field $other active true'
send "Ana" "Encore"
check "a popup shows the second notification" 'wait_field $chat popups 1'
for _ in $(seq 50); do [ "$(notification_id | tail -n 1)" != "$id" ] && break; sleep 0.1; done
id=$(notification_id | tail -n 1)
# What Plasma's history sends: the action alone, with no token.
"$as_user" dbus-send --session --print-reply --dest=org.freedesktop.Notifications /org/freedesktop/Notifications \
  org.kde.NotificationManager.InvokeAction "uint32:$id" string:default >/dev/null
check "the program withdraws the notification" \
  'for _ in $(seq 50); do [ "$(closed $id)" = 3 ] && break; sleep 0.1; done; [ "$(closed $id)" = 3 ]'
check "its popup goes" 'wait_field $chat popups 0'
check "the chat stays behind" '[ "$(field $chat active)" = false ]'
echo "after the action: $(state $chat)"

desktop_end
