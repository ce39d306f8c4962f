#!/usr/bin/env bash
# The real program under GNOME Shell 43 (headless, one virtual monitor),
# observed and driven through the shell's own JavaScript (org.gnome.Shell.Eval,
# open in unsafe mode). Another application's window has the focus when a
# message arrives: the tray then holds exactly one notification, lanchat's,
# tied to its desktop entry, and no "is ready" banner beside it. A click on
# the banner brings the chat up focused, and the tray holds no lanchat
# notification any more.
# Run as root inside a network namespace of its own (tests/private_net.sh);
# it takes a mount namespace of its own too, to hide systemd's folder (only
# root mounts). The shell, the buses and the programs run as an ordinary
# user, udp_tool (the other host) as root.
# LANCHAT_SCREENSHOTS=DIR keeps pictures of the screen before and after the
# click.
set -u
lanchat=$1 udp_tool=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${LANCHAT_IN_MOUNT_NS:-}" ]; then
  LANCHAT_IN_MOUNT_NS=1 exec unshare --mount --propagation private -- "$0" "$@"
fi
. "$here/desktop_lib.sh"
for tool in gnome-shell gjs gdbus dbus-daemon; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: missing $tool (Debian packages gnome-shell, gjs, libglib2.0-bin, dbus-daemon)"; exit 1; }
done

session_start
desktop_session
# Without systemd's folder, GNOME Shell does not look for a systemd user
# session, which this machine need not have.
mount -t tmpfs tmpfs /run/systemd 2>/dev/null

# shell JS: the value of a JavaScript expression in GNOME Shell (a string
# prints without its quotes); nothing if the shell does not answer within 5 s.
shell() {
  "$as_user" gdbus call --session --timeout 5 -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval "$1" 2>/dev/null |
    sed -n "s/^(true, '\"\{0,1\}\(.*\)\"\{0,1\}')\$/\1/p" | sed 's/"$//'
}
# start_shell: GNOME Shell, until it has started (30 s at most).
start_shell() {
  "$as_user" GSETTINGS_BACKEND=memory gnome-shell --headless --virtual-monitor 1024x768 --wayland --no-x11 \
    --unsafe-mode >>"$work/shell.log" 2>&1 & shell_pid=$!; pids+=($shell_pid)
  local deadline=$((SECONDS + 30))
  while [ $SECONDS -lt $deadline ]; do
    [ "$(shell 'Main.layoutManager._startingUp')" = false ] && return 0
    sleep 0.1
  done
  return 1
}
# A shell that does not answer is started once more: on a loaded machine
# GNOME Shell 43 headless has been seen to hang at start-up.
start_shell || { echo "GNOME Shell did not start within 30 s: once more"; kill -9 $shell_pid; start_shell; } || {
  echo "FAIL: GNOME Shell did not start"; grep -v Gjs-CRITICAL "$work/shell.log" | tail -5; exit 1; }
export WAYLAND_DISPLAY=wayland-0
# The session starts in the overview, with the shell's own notification
# (no screen lock without GNOME's display manager): back to the desktop, with
# an empty tray.
shell "Main.overview.hide(); Main.messageTray.getSources().forEach(s => s.destroy())" >/dev/null
deadline=$((SECONDS + 10))
while [ $SECONDS -lt $deadline ] && [ "$(shell 'Main.overview.visible')" != false ]; do sleep 0.1; done

# state PID: focus, attention and the tray's notifications, as GNOME sees
# the window of process PID: "focus=… attention=… app=… tray=N lanchat=M".
state() {
  shell "(() => {
    const w = global.display.list_all_windows().find(w => w.get_pid() == $1);
    if (!w) return 'none';
    const app = imports.gi.Shell.WindowTracker.get_default().get_window_app(w);
    const notes = Main.messageTray.getSources().flatMap(s => s.notifications);
    const ours = notes.filter(n => (n.source.app || n.source._app) === app);
    return 'focus=' + w.has_focus() + ' attention=' + (w.demands_attention || w.urgent) +
      ' app=' + app.get_id() + ' tray=' + notes.length + ' lanchat=' + ours.length;
  })()"
}
field() { state "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
wait_field() { # PID FIELD VALUE, for 10 s at most
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ]; do [ "$(field "$1" "$2")" = "$3" ] && return 0; sleep 0.1; done
  return 1
}
screenshot() { # taken in the user's folder, kept in root's
  [ -n "${LANCHAT_SCREENSHOTS:-}" ] || return 0
  "$as_user" gdbus call --session -d org.gnome.Shell.Screenshot -o /org/gnome/Shell/Screenshot \
    -m org.gnome.Shell.Screenshot.Screenshot false false "$work/$1" >/dev/null &&
    cp "$work/$1" "$LANCHAT_SCREENSHOTS/$1"
}

"$as_user" "$lanchat" 2>"$work/lanchat.log" & chat=$!; pids+=($chat)
check "the chat shows under its desktop entry" 'wait_field $chat app io.github.lanchat.lanchat.desktop'
check "the chat has the focus" 'wait_field $chat focus true'
desktop_other_window; other=$!; pids+=($other)
check "another window takes the focus" 'wait_field $other focus true'
check "the chat has lost it" 'wait_field $chat focus false'

send "Ana" "Salut"
check "the tray holds a notification for the chat" 'wait_field $chat lanchat 1'
sleep 1 # anything else the arrival brings has come by then
echo "after the arrival: $(state $chat)"
check "the tray holds one notification, the chat's" '[ "$(field $chat tray)" = 1 ] && [ "$(field $chat lanchat)" = 1 ]'
# The notification's banner, shown in full, clicked in its middle with a
# pointer of the shell's own.
deadline=$((SECONDS + 5))
while [ $SECONDS -lt $deadline ]; do
  [ "$(shell 'Main.messageTray._notificationState')" = 2 ] && break
  sleep 0.1
done
check "its banner shows what came" \
  '[[ "$(shell "Main.messageTray._notification?.bannerBodyText")" == *Salut* ]]'
screenshot desktops-gnome-arrival.png
shell "(() => {
  const { Clutter, GLib } = imports.gi;
  const banner = Main.messageTray._banner;
  if (!banner?.notification.bannerBodyText.includes('Salut')) return;
  const [x, y] = banner.get_transformed_position();
  const [width, height] = banner.get_transformed_size();
  global._lanchatPointer ??= Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
  global._lanchatPointer.notify_absolute_motion(GLib.get_monotonic_time(), x + width / 2, y + height / 2);
})()" >/dev/null
sleep 0.3
shell "(() => {
  const { Clutter, GLib } = imports.gi;
  for (const state of [Clutter.ButtonState.PRESSED, Clutter.ButtonState.RELEASED])
    global._lanchatPointer.notify_button(GLib.get_monotonic_time(), Clutter.BUTTON_PRIMARY, state);
})()" >/dev/null
check "the click brings the chat up focused" 'wait_field $chat focus true'
check "the tray holds no notification for the chat any more" 'wait_field $chat lanchat 0'
echo "after the click: $(state $chat)"
check "it does not want attention any more" '[ "$(field $chat attention)" = false ]'
screenshot desktops-gnome-click.png

desktop_end
