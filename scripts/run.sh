#!/usr/bin/env bash
# Installs what is missing, builds lanchat in Release and starts it. Extra
# arguments go to cmake; the project's own settings (LANCHAT_*) are dropped
# from the cache first, so that each run builds with its defaults unless its
# own arguments say otherwise, and the line printed says what was built.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}"
configure_release build/release "$@"
cmake --build --preset release -j"$(nproc)"
built_settings build/release
exec build/release/app/lanchat
