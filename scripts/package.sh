#!/usr/bin/env bash
# Builds the Debian package in build/pkg. Extra arguments go to cmake, for
# example -DLANCHAT_BROADCAST_ADDRESS=192.168.1.255 for a given network.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file
rm -rf build/pkg/CMakeCache.txt
cmake --preset package "$@" >/dev/null
cmake --build --preset package -j"$(nproc)"
rm -f build/pkg/lanchat_*.deb # each build has a version of its own: keep only this one
(cd build/pkg && cpack -G DEB >/dev/null)
ls build/pkg/lanchat_*.deb
