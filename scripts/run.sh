#!/usr/bin/env bash
# Installs what is missing, builds lanchat in Release and starts it.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DLANCHAT_BUILD_TESTS=OFF -DLANCHAT_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build build/release -j"$(nproc)" --target lanchat
exec build/release/app/lanchat
