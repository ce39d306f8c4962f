#!/usr/bin/env bash
# Runs a Windows program of the windows build under Wine, in a throw-away
# Wine prefix of the build's own (LANCHAT_WINEPREFIX, by default
# wineprefix/ in the build folder that holds the program), made the first
# time (wineboot -i, about 12 s here) and kept for the next runs. No display is needed: the program must not open a
# window. Its exit code is the program's.
#   tests/wine_run.sh build/windows/tests/portable/test_portable.exe [arguments...]
set -u
program=$1; shift
wine=$(command -v wine64 || command -v wine || true)
[ -n "$wine" ] || [ ! -x /usr/lib/wine/wine64 ] || wine=/usr/lib/wine/wine64
if [ -z "$wine" ]; then
  echo "FAIL: Wine is not installed (Debian package wine64; scripts/test.sh installs it)"; exit 1
fi
build=$(cd "$(dirname "$program")" && pwd)
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" != / ] || build=$(cd "$(dirname "$program")" && pwd)
export WINEPREFIX=${LANCHAT_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$WINEPREFIX")"
if [ ! -f "$WINEPREFIX/.lanchat-ready" ]; then
  start=$(date +%s%N)
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot -i could not make $WINEPREFIX"; exit 1; }
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  "$wineserver" -w 2>/dev/null || true
  touch "$WINEPREFIX/.lanchat-ready"
  took=$((($(date +%s%N) - start) / 100000000))
  echo "Wine prefix made in $((took / 10)).$((took % 10)) s: $WINEPREFIX"
fi
"$wine" "$program" "$@"
