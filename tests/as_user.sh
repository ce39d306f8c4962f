#!/usr/bin/env bash
# as_user.sh [VAR=VALUE...] COMMAND...: COMMAND as the tests' ordinary user
# (user_lib.sh's user_session sets it up), in this process's place: a test
# that starts it in the background has the program's own pid in $!. Its
# environment is its own: the user's HOME, USER, LOGNAME, XDG_RUNTIME_DIR, a
# plain PATH and LANG=C.UTF-8; DISPLAY, WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS, the sanitisers' options and the variables named
# in LANCHAT_USER_VARS, where set here; then each VAR=VALUE given.
set -u
: "${LANCHAT_USER_HOME:?as_user.sh: call user_session first}"
user=$LANCHAT_USER
vars=(HOME="$LANCHAT_USER_HOME" USER="$user" LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin
  LANG=C.UTF-8 XDG_RUNTIME_DIR="$LANCHAT_USER_RUNTIME")
for name in DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS ASAN_OPTIONS UBSAN_OPTIONS ${LANCHAT_USER_VARS-}; do
  [ -z "${!name+set}" ] || vars+=("$name=${!name}")
done
# The suppressions named by a copy the user can read.
[ -z "${LSAN_OPTIONS+set}" ] || vars+=("LSAN_OPTIONS=$LANCHAT_USER_LSAN")
exec setpriv --reuid="$user" --regid="$user" --init-groups env -i -C "$LANCHAT_USER_HOME" "${vars[@]}" "$@"
