#!/usr/bin/env bash
# Builds the Debian package in build/pkg. Extra arguments go to cmake
# (configure in common.sh), for example
# -DLANCHAT_BROADCAST_ADDRESS=192.168.1.255 for a given network.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" dpkg-dev file
configure package "$@"
cmake --build --preset package -j"$(nproc)"
rm -f build/pkg/lanchat_*.deb # each build has a version of its own: keep only this one
(cd build/pkg && cpack -G DEB >/dev/null)
ls build/pkg/lanchat_*.deb
