#!/usr/bin/env bash
# The README's commands as a new user meets them: a freshly made Debian 12
# root (debootstrap --variant=minbase, from the archive apt uses here),
# entered with chroot, a copy of the tree in it:
# 1. as root, scripts/run.sh installs what it needs, builds the program and
#    ends with its French no-display line and code 1;
# 2. as an ordinary user with sudo, in another such root, the same, apt-get
#    reached only through sudo, and no file of the tree left owned by root;
# 3. in that root, scripts/test.sh's install steps and the test and windows
#    presets' configurations, which find every package the suite needs;
# 4. scripts/package.sh there, its package installed with apt-get into a
#    third fresh root, and lanchat started from it.
# Each root is unpacked from one tarball made once. Run by .ci/run, as root;
# prints each step's time.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing debootstrap

tree=$PWD
work=$(mktemp -d /var/tmp/lanchat-fresh.XXXXXX)
mounted=()
# The package raises the receive-buffer limit, which is the host's own (/proc
# is shared): whatever a step leaves, the host gets its value back.
rmem_max=$(cat /proc/sys/net/core/rmem_max)
cleanup() {
  local i pid
  # A step cut short may leave processes in its root: they go first.
  for pid in /proc/[0-9]*; do
    [[ $(readlink "$pid/root" 2>/dev/null) == "$work"/* ]] && kill -9 "${pid#/proc/}" 2>/dev/null
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  # Never into a mount that is still there (the host's /dev): one file system only.
  rm -rf --one-file-system "$work"
  echo "$rmem_max" >/proc/sys/net/core/rmem_max
}
trap cleanup EXIT
trap 'exit 143' TERM INT

elapsed() { # START: seconds since START, as "12 s"
  echo "$(($(date +%s) - $1)) s"
}
fail() { echo "FAIL: $1"; [ -f "${2:-}" ] && tail -n 30 "$2"; exit 1; }

# The root: Debian 12, the smallest variant, from the archive apt uses.
start=$(date +%s)
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk '$2 == "bookworm" { print $1; exit }')
[ -n "$mirror" ] || fail "apt uses no archive for bookworm here"
mkdir "$work/base"
debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  fail "debootstrap from $mirror" "$work/debootstrap.log"
cp /etc/resolv.conf "$work/base/etc/resolv.conf"
cp /etc/hosts "$work/base/etc/hosts"
# The roots are thrown away: dpkg need not sync each file it writes.
echo force-unsafe-io >"$work/base/etc/dpkg/dpkg.cfg.d/unsafe-io"
rm -rf "$work/base/var/cache/apt/archives/"*.deb
tar -C "$work/base" --numeric-owner -cf "$work/root.tar" .
rm -rf --one-file-system "$work/base"
echo "root made from $mirror: $(elapsed "$start"), $(du -m "$work/root.tar" | cut -f1) MB"

# new_root NAME: unpacks a fresh root in $work/NAME, with /proc, /sys and
# /dev mounted, and the tree copied into /src, as git sees it (no build).
new_root() {
  local root=$work/$1
  mkdir "$root"
  tar -C "$root" --numeric-owner -xpf "$work/root.tar"
  mount -t proc proc "$root/proc" && mounted+=("$root/proc")
  mount -t sysfs sysfs "$root/sys" && mounted+=("$root/sys")
  mount --bind /dev "$root/dev" && mounted+=("$root/dev")
  mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
  mkdir "$root/src"
  (cd "$tree" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$root/src")
}
# as USER ROOT COMMAND: runs COMMAND with bash in ROOT as USER (root or a
# user of that root), in a login's environment.
as() {
  local user=$1 root=$work/$2 home=/root ids=0:0
  if [ "$user" != root ]; then
    home=/home/$user
    ids=$(chroot "$root" id -u "$user"):$(chroot "$root" id -g "$user")
  fi
  chroot --userspec="$ids" "$root" env -i HOME="$home" USER="$user" LOGNAME="$user" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "cd ~ && $3"
}
# stamped: each line read, after the time it was read at (seconds).
stamped() { while IFS= read -r line; do printf '%(%s)T %s\n' -1 "$line"; done; }
# first_command WHO USER ROOT LOG: the README's first command, its output
# stamped in LOG; it must end as the README says, with the French
# no-display line and code 1. Says how long the packages (and configuring)
# took, then the build.
first_command() {
  local who=$1 log=$4 start rc built
  start=$(date +%s)
  as "$2" "$3" 'cd lanchat && scripts/run.sh' 2>&1 | stamped >"$log"
  rc=${PIPESTATUS[0]}
  [ "$rc" -eq 1 ] || fail "$who: ended with code $rc, not 1" "$log"
  grep -q " lanchat: aucun affichage graphique" "$log" || fail "$who: ended without the French no-display line (code $rc)" "$log"
  built=$(grep -m1 -E '^[0-9]+ \[ *[0-9]+%\]' "$log" | cut -d' ' -f1)
  echo "$who: $(grep -m1 -o 'lanchat built for broadcast.*' "$log" || true); $(grep -o 'lanchat: .*' "$log")"
  echo "README's first command $who: $(elapsed "$start") (packages and configuring $((built - start)) s, build $(elapsed "$built"))"
}

# 1. As root.
new_root root
mv "$work/root/src" "$work/root/root/lanchat"
first_command "as root" root root "$work/root.log"

# 2. As a user with sudo; sudo keeps a log of what it ran.
start=$(date +%s)
new_root user
as root user 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sudo >/dev/null &&
  useradd -m -s /bin/bash ana && echo "ana ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/ana &&
  echo "Defaults logfile=/var/log/sudo.log, loglinelen=0" >>/etc/sudoers.d/ana && chmod 440 /etc/sudoers.d/ana' \
  >"$work/sudo.log" 2>&1 || fail "making a user with sudo" "$work/sudo.log"
mv "$work/user/src" "$work/user/home/ana/lanchat"
as root user 'chown -R ana:ana /home/ana/lanchat'
echo "sudo and the user made: $(elapsed "$start")"
first_command "as a user with sudo" ana user "$work/user.log"
grep -q 'COMMAND=.*apt-get install' "$work/user/var/log/sudo.log" ||
  fail "apt-get was not run through sudo" "$work/user/var/log/sudo.log"
owned=$(as root user 'find /home/ana/lanchat ! -user ana | head -n 5')
[ -z "$owned" ] || fail "files left owned by another user than the one who ran it: $owned"

# 3. The second command's install step and the test preset's configuration.
start=$(date +%s)
as ana user 'cd lanchat && . scripts/common.sh &&
  install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" && configure test &&
  install_missing "${WINDOWS_PACKAGES[@]}" "${WINDOWS_TEST_PACKAGES[@]}" && configure windows' \
  >"$work/test.log" 2>&1 || fail "the test packages, then configuring the suite" "$work/test.log"
echo "README's second command's packages installed and the suite configured: $(elapsed "$start")"

# 4. The package, installed in a fresh root, started there by a user.
start=$(date +%s)
as ana user 'cd lanchat && scripts/package.sh' >"$work/package.log" 2>&1 || fail "scripts/package.sh" "$work/package.log"
deb=$(tail -n 1 "$work/package.log")
new_root installed
cp "$work/user/home/ana/lanchat/$deb" "$work/installed/root/"
as root installed "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./$(basename "$deb") >/dev/null &&
  useradd -m ana" >"$work/installed.log" 2>&1 || fail "installing $(basename "$deb")" "$work/installed.log"
rc=0; as ana installed 'lanchat' >"$work/started.log" 2>&1 || rc=$?
[ "$rc" -eq 1 ] && grep -q "^lanchat: aucun affichage graphique" "$work/started.log" ||
  fail "the installed lanchat, started by a user: code $rc" "$work/started.log"
echo "the installed package: $(cat "$work/started.log")"
# Removing the package puts back the receive-buffer limit it raised.
as root installed 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lanchat >/dev/null' >>"$work/installed.log" 2>&1 ||
  fail "removing the package" "$work/installed.log"
[ "$(cat /proc/sys/net/core/rmem_max)" = "$rmem_max" ] ||
  fail "net.core.rmem_max is $(cat /proc/sys/net/core/rmem_max) once the package is removed, not $rmem_max"
echo "package built, installed in a fresh root and started: $(elapsed "$start")"
