#!/usr/bin/env bash
# Installs what is missing, builds lanchat alone in Release and starts it.
# Extra arguments go to cmake (configure in common.sh): each run builds with
# the defaults unless its own arguments say otherwise, and the lines printed
# say what was built.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}"
configure release "$@"
cmake --build --preset release -j"$(nproc)"
built_settings build/release
exec build/release/app/lanchat
