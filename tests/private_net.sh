#!/usr/bin/env bash
# Runs a command in a network namespace of its own with only loopback up:
# what it sends on the chat's port neither reaches nor hears any lanchat
# running on this machine.
set -u
[ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || {
  echo "FAIL: this test runs in a network namespace of its own and must run as root (or with sudo without a password)"; exit 1; }
exec unshare --net -- sh -c 'ip link set lo up && exec "$@"' private_net "$@"
