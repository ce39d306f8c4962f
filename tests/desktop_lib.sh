# What the desktop shells' tests (gnome_session.sh, plasma_session.sh)
# share: a session of the test's own, the checks, the datagram that makes a
# message arrive, and a second application's window. Sourced, with
# `lanchat` and `udp_tool` set. The session is an ordinary user's
# (user_lib.sh), as a person's is.
. "$here/bus_lib.sh"
. "$here/user_lib.sh"

failures=0 passes=0
check() { if eval "$2"; then passes=$((passes + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi; }

# desktop_session: the user's private runtime and home folders, a copy of
# the program the user can run, its desktop entry (run that copy) where the
# shells look for applications, a session bus and a stand-in for the system
# bus, whose services the shells do without.
desktop_session() {
  user_make
  user_session
  lanchat=$(user_copy "$lanchat")
  mkdir -p "$work/share/applications"
  sed "s|^Exec=.*|Exec=$lanchat|" "$here/../packaging/io.github.lanchat.lanchat.desktop" \
    >"$work/share/applications/io.github.lanchat.lanchat.desktop"
  export XDG_DATA_DIRS=$work/share:/usr/local/share:/usr/share
  user_pass XDG_DATA_DIRS DBUS_SYSTEM_BUS_ADDRESS
  local bus
  for variable in DBUS_SYSTEM_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS; do
    bus=$("$as_user" dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) || {
      echo "FAIL: a bus did not start"; exit 1; }
    export "$variable=$(sed -n 1p <<<"$bus")"
    pids+=($(sed -n 2p <<<"$bus"))
  done
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_ACTIVATION_TOKEN
}

send() { # NICK MESSAGE
  local hex
  hex=$(printf '%s a dit :%s' "$1" "$2" | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
  # To the broadcast address, which every instance hears.
  "$udp_tool" send 127.255.255.255 2000 "$hex" || { echo "FAIL: the datagram was not sent"; exit 1; }
}

# desktop_other_window: another application's window (GTK 4, app id
# org.lanchat.Other), in the background; its pid in $!.
desktop_other_window() {
  "$as_user" GDK_BACKEND=wayland gjs -c "
    imports.gi.versions.Gtk = '4.0';
    const { GLib, Gtk } = imports.gi;
    GLib.set_prgname('org.lanchat.Other');
    Gtk.init();
    new Gtk.Window({ title: 'Other', default_width: 300, default_height: 200 }).present();
    new GLib.MainLoop(null, false).run();" >"$work/other.log" 2>&1 &
}

desktop_end() {
  [ "$failures" -eq 0 ] || { echo "--- lanchat"; tail -5 "$work/lanchat.log"; }
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
