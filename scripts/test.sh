#!/usr/bin/env bash
# Installs what is missing, builds lanchat with its tests and runs the whole
# suite through ctest, then the same for the Windows build under Wine. Extra
# arguments go to cmake (configure in common.sh); PRESET picks the build (a
# preset of CMakePresets.json: test, ci or sanitize).
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
preset=${PRESET:-test}
configure "$preset" "$@"
cmake --build --preset "$preset" -j"$(nproc)"
built_settings "build/$preset"
ctest --preset "$preset"

# The Windows build of the same sources (warnings as errors when this build
# has them), its installer, and its tests under Wine. Sanitizers have no
# Windows build: the sanitize preset stops here.
[ "$preset" != sanitize ] || exit 0
install_missing "${WINDOWS_TEST_PACKAGES[@]}"
werror=$(sed -n 's/^LANCHAT_WERROR:BOOL=//p' "build/$preset/CMakeCache.txt")
scripts/windows.sh -DLANCHAT_WERROR="${werror:-OFF}"
ctest --preset windows
