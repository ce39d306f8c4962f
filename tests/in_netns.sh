#!/usr/bin/env bash
# Runs a command inside a new network namespace whose interfaces are all
# down: nothing it sends can leave, and every send fails.
set -u
[ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || {
  echo "FAIL: this test creates a network namespace and must run as root (or with sudo without a password)"; exit 1; }
ns=lcdown$$
if ! ip netns add "$ns" 2>/tmp/$ns.err; then
  echo "FAIL: cannot create a network namespace here: $(cat /tmp/$ns.err)"; rm -f /tmp/$ns.err; exit 1
fi
rm -f /tmp/$ns.err
trap 'ip netns del "$ns"' EXIT
ip netns exec "$ns" "$@"
