#!/usr/bin/env bash
# CI: the Windows build, cross-built with MinGW-w64 with warnings as errors,
# its installer, and its tests under Wine (ctest --preset windows: the chat
# with Linux, the window's layout, the installer), each in Xvfb and in a
# network namespace of its own.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh

echo "== Windows: build (MinGW-w64), installer (NSIS), tests under Wine"
install_missing "${WINDOWS_PACKAGES[@]}"
if [ -x scripts/windows.sh ]; then
  scripts/windows.sh
else
  configure windows
  nice -n 19 cmake --build --preset windows -j2
fi
windows_installer build/windows
nice -n 19 ctest --preset windows
