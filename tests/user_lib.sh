# The tests' desktop sessions run as an ordinary user, as a person's does:
# the X server or compositor, the session bus and everything on it (a bus
# accepts only its own user), and the program. Sourced by tests that run as
# root; what must stay root (network namespaces, mounts) stays in the test.
#
#   user_make               the user, made once
#   user_session            $work (the test's folder) handed to the user, with
#                           a home and a runtime folder in it
#   user_copy FILE          a copy of FILE the user can run; prints its path
#   as_user [VAR=VALUE...] COMMAND...
#                           COMMAND as the user, in an environment of its own

user_name=lanchat-user
# Names of further variables of the test's that the user's programs get
# (DISPLAY, WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS and the sanitisers'
# options always do, when set).
user_vars=()

user_make() {
  command -v setpriv >/dev/null || { echo "FAIL: missing setpriv (Debian package util-linux)"; exit 1; }
  # Two tests may start together: one makes the user, the other waits, then
  # finds it.
  flock /run/lock/lanchat-user.lock sh -c \
    'id -u "$1" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$1"' _ "$user_name" ||
    { echo "FAIL: could not make the user $user_name"; exit 1; }
  # X servers of any user put their sockets here: root's and open to all, as
  # the system makes it at boot (a compositor run by another user may have
  # made it its own).
  mkdir -p /tmp/.X11-unix && chown root:root /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
}

user_session() {
  user_home=$work/home user_runtime=$work/run
  mkdir -p "$user_home" "$user_runtime"
  chown -R "$user_name:$user_name" "$work"
  chmod 700 "$work" "$user_runtime"
  # The build may be in a folder the user cannot read, the leak suppressions
  # with it.
  user_lsan=${LSAN_OPTIONS-}
  if [[ $user_lsan =~ (^|:)suppressions=([^:]+) ]]; then
    install -m 644 "${BASH_REMATCH[2]}" "$work/lsan.supp"
    user_lsan=${user_lsan/"suppressions=${BASH_REMATCH[2]}"/suppressions=$work/lsan.supp}
  fi
}

user_copy() {
  mkdir -p "$work/bin"
  install -m 755 -o "$user_name" -g "$user_name" "$1" "$work/bin/" && echo "$work/bin/${1##*/}"
}

as_user() {
  local vars=(HOME="$user_home" USER="$user_name" LOGNAME="$user_name" PATH=/usr/local/bin:/usr/bin:/bin
    LANG=C.UTF-8 XDG_RUNTIME_DIR="$user_runtime") name
  for name in DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS ASAN_OPTIONS UBSAN_OPTIONS "${user_vars[@]}"; do
    [ -z "${!name+set}" ] || vars+=("$name=${!name}")
  done
  [ -z "${LSAN_OPTIONS+set}" ] || vars+=("LSAN_OPTIONS=$user_lsan")
  set -- setpriv --reuid="$user_name" --regid="$user_name" --init-groups \
    env -i -C "$user_home" "${vars[@]}" "$@"
  # Started in the background or read through a pipe, the program takes the
  # subshell's place: $! is its own pid.
  if [ "$BASHPID" != "$$" ]; then exec "$@"; else "$@"; fi
}
