#!/usr/bin/env bash
# Installs what is missing, cross-builds lanchat for Windows with MinGW-w64
# (the windows preset of CMakePresets.json: build/windows, Release, with the
# tests that ctest runs under Wine: `ctest --preset windows`), builds its
# installer, and prints what it built with. Extra arguments go to cmake (configure in
# common.sh), for example -DLANCHAT_BROADCAST_ADDRESS=192.168.1.255.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${WINDOWS_PACKAGES[@]}"
configure windows "$@"
cmake --build --preset windows -j"$(nproc)"
windows_installer build/windows
built_settings build/windows
