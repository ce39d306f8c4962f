# The tests' desktop sessions run as an ordinary user, as a person's does:
# the X server or compositor, the session bus and everything on it (a bus
# accepts only its own user), and the program. Sourced by tests that run as
# root; what must stay root (network namespaces, mounts) stays in the test.
#
#   user_make          the user, made once
#   user_session       $work (the test's folder) handed to the user, with a
#                      home and a runtime folder (mode 700) in it
#   user_copy FILE     a copy of FILE the user can run, whatever folder the
#                      build is in; prints its path
#   user_pass NAME...  the user's programs get these variables of the test's
#   "$as_user" [VAR=VALUE...] COMMAND...
#                      COMMAND as the user (as_user.sh)

export LANCHAT_USER=lanchat-user
as_user=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/as_user.sh

user_make() {
  command -v setpriv >/dev/null || { echo "FAIL: missing setpriv (Debian package util-linux)"; exit 1; }
  # Two tests may start together: one makes the user, the other waits, then
  # finds it.
  flock /run/lock/lanchat-user.lock sh -c \
    'id -u "$1" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$1"' _ "$LANCHAT_USER" ||
    { echo "FAIL: could not make the user $LANCHAT_USER"; exit 1; }
  # X servers of any user put their sockets here: root's and open to all, as
  # the system makes it at boot (a compositor run by another user may have
  # made it its own).
  mkdir -p /tmp/.X11-unix && chown root:root /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
}

user_session() {
  export LANCHAT_USER_HOME=$work/home LANCHAT_USER_RUNTIME=$work/run LANCHAT_USER_VARS=
  user_home=$LANCHAT_USER_HOME user_runtime=$LANCHAT_USER_RUNTIME
  mkdir -p "$user_home" "$user_runtime"
  chown -R "$LANCHAT_USER:$LANCHAT_USER" "$work"
  chmod 700 "$work" "$user_runtime"
  # The leak suppressions may be in a folder the user cannot read too.
  local lsan=${LSAN_OPTIONS-}
  if [[ $lsan =~ (^|:)suppressions=([^:]+) ]]; then
    install -m 644 "${BASH_REMATCH[2]}" "$work/lsan.supp"
    lsan=${lsan/"suppressions=${BASH_REMATCH[2]}"/suppressions=$work/lsan.supp}
  fi
  export LANCHAT_USER_LSAN=$lsan
}

user_copy() {
  mkdir -p "$work/bin"
  install -m 755 -o "$LANCHAT_USER" -g "$LANCHAT_USER" "$1" "$work/bin/" && echo "$work/bin/${1##*/}"
}

user_pass() { LANCHAT_USER_VARS+=" $*"; }
