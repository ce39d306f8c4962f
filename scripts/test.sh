#!/usr/bin/env bash
# Installs what is missing, builds lanchat with its tests and runs the whole
# suite through ctest. Extra arguments go to cmake (configure in common.sh);
# PRESET picks the build (a preset of CMakePresets.json: test, ci or
# sanitize).
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
preset=${PRESET:-test}
configure "$preset" "$@"
cmake --build --preset "$preset" -j"$(nproc)"
built_settings "build/$preset"
ctest --preset "$preset"
