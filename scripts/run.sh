#!/usr/bin/env bash
# Installs what is missing, builds lanchat in Release and starts it. Extra
# arguments go to cmake; the project's own settings (LANCHAT_*) are dropped
# from the cache first, so that each run builds with its defaults unless its
# own arguments say otherwise, and the line printed says what was built.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}"
cmake -S . -B build/release -U 'LANCHAT_*' -DCMAKE_BUILD_TYPE=Release -DLANCHAT_BUILD_TESTS=OFF -DLANCHAT_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build build/release -j"$(nproc)" --target lanchat
sed -n 's/^LANCHAT_BROADCAST_ADDRESS:[A-Z]*=/lanchat built for broadcast address /p; s/^LANCHAT_CODEPAGE:[A-Z]*=/lanchat built for code page /p' build/release/CMakeCache.txt
exec build/release/app/lanchat
