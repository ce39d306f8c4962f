#!/usr/bin/env bash
# Installs what is missing, cross-builds lanchat for Windows with MinGW-w64
# (the windows preset of CMakePresets.json: build/windows, Release, with the
# portable tests, which ctest runs under Wine: `ctest --preset windows`),
# and prints what it built with. Extra arguments go to cmake (configure in
# common.sh), for example -DLANCHAT_BROADCAST_ADDRESS=192.168.1.255.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${WINDOWS_PACKAGES[@]}"
configure windows "$@"
cmake --build --preset windows -j"$(nproc)"
# The installer: its target goes here once packaging/windows/ exists, e.g.
#   cmake --build --preset windows --target installer
built_settings build/windows
