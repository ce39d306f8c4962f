#!/usr/bin/env bash
# The Debian package as a user gets it: built, lintian-clean, installed and
# started; its AppStream metadata and desktop entry validated; a package
# built for another network installed over it, and back. Run by .ci/run, as
# root.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh

echo "== Debian package: build, lintian, install, start the installed program"
install_missing lintian
deb=$(scripts/package.sh | tail -n 1)
lintian --fail-on error,warning "$deb"
limit=/proc/sys/net/core/rmem_max
before=$(cat "$limit")
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
[ "$(cat "$limit")" -ge 33554432 ] && [ -f /usr/lib/sysctl.d/60-lanchat.conf ] ||
  { echo "the package did not raise net.core.rmem_max to 32 MiB ($(cat "$limit"))"; exit 1; }
echo "net.core.rmem_max: $before before the package, $(cat "$limit") once installed"
XDG_RUNTIME_DIR=$(mktemp -d) QT_QPA_PLATFORM=offscreen /usr/bin/lanchat & pid=$!
wait_for_udp_port 2000 || { echo "the installed lanchat does not listen on port 2000"; exit 1; }
kill -TERM $pid
wait $pid || { echo "the installed lanchat did not end with code 0"; exit 1; }
echo "installed package started and closed"

echo "== AppStream metadata and desktop entry of the installed package, pedantic"
install_missing appstream desktop-file-utils
metainfo=/usr/share/metainfo/io.github.lanchat.lanchat.metainfo.xml
desktop=/usr/share/applications/io.github.lanchat.lanchat.desktop
out=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) || { echo "$out"; exit 1; }
echo "$out"
if grep -q '^[EWIP]:' <<<"$out"; then echo "appstreamcli has something to say about $metainfo"; exit 1; fi
out=$(desktop-file-validate "$desktop" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
echo "desktop-file-validate: $desktop is clean"

echo "== A package for another network replaces the installed one, and back"
expect_installed() { # version (extended regex), address built in
  local version
  version=$(dpkg-query -W -f='${Version}' lanchat)
  echo "installed: lanchat $version"
  [[ $version =~ $1 ]] || { echo "expected a version matching $1"; exit 1; }
  grep -aqF "$2" /usr/bin/lanchat || { echo "/usr/bin/lanchat is not built for $2"; exit 1; }
}
deb=$(scripts/package.sh -DLANCHAT_BROADCAST_ADDRESS=10.1.2.255 | tail -n 1)
lintian --fail-on error,warning "$deb"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
expect_installed '^[0-9.]+\+[0-9]{8}\.[0-9]{6}\.bcast\.10\.1\.2\.255$' 10.1.2.255
deb=$(scripts/package.sh | tail -n 1)
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
expect_installed '^[0-9.]+\+[0-9]{8}\.[0-9]{6}$' 127.255.255.255


echo "== Removed, the package puts back the receive-buffer limit it raised"
as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lanchat >/dev/null
[ ! -e /usr/lib/sysctl.d/60-lanchat.conf ] || { echo "60-lanchat.conf left behind"; exit 1; }
if [ "$before" -lt 33554432 ]; then
  [ "$(cat "$limit")" = "$before" ] || { echo "net.core.rmem_max is $(cat "$limit"), not $before again"; exit 1; }
fi
echo "net.core.rmem_max: $(cat "$limit") once removed"
