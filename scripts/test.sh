#!/usr/bin/env bash
# Installs what is missing, builds lanchat with its tests and runs the whole
# suite through ctest. Extra arguments go to cmake; BUILD_DIR picks the build.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build=${BUILD_DIR:-build/test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2
