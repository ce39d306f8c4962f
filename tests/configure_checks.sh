#!/usr/bin/env bash
# Configuring refuses build-time settings that would give a broken program,
# with a message that says why, and accepts good ones.
set -u
src=$1 work=$2/configure-checks
passes=0 failures=0
try() { # expectation, message pattern, cmake arguments...
  local expect=$1 pattern=$2; shift 2
  rm -rf "$work"
  out=$(cmake -S "$src" -B "$work" -DLANCHAT_BUILD_TESTS=OFF -DLANCHAT_BUILD_BENCH=OFF "$@" 2>&1)
  local rc=$?
  if { [ "$expect" = ok ] && [ $rc -eq 0 ]; } ||
     { [ "$expect" = refused ] && [ $rc -ne 0 ] && tr -s " \n" "  " <<<"$out" | grep -q -- "$pattern"; }; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1)); echo "FAIL: $* (expected $expect): $out" | tail -n 5
  fi
}
try refused "not a directed IPv4 broadcast address" -DLANCHAT_BROADCAST_ADDRESS=192.168.1.1
try refused "not a directed IPv4 broadcast address" -DLANCHAT_BROADCAST_ADDRESS=192.168.1
try refused "not a directed IPv4 broadcast address" -DLANCHAT_BROADCAST_ADDRESS=300.1.1.255
try refused "not a directed IPv4 broadcast address" "-DLANCHAT_BROADCAST_ADDRESS=10.0.0.255;rm"
try refused "not a code page that iconv knows" -DLANCHAT_CODEPAGE=NO-SUCH-CODEPAGE
try ok "" -DLANCHAT_BROADCAST_ADDRESS=10.1.2.255 -DLANCHAT_CODEPAGE=ISO-8859-15

# The configuration of scripts/run.sh, package.sh and screenshots.sh: the
# program alone (tests and benchmark off, so that no test package is
# needed); a setting given holds, and does not stick to the next run.
. "$src/scripts/common.sh"
rm -rf "$work"
settings() {
  (cd "$src" && configure release -B "$work" "$@" && built_settings "$work" &&
    sed -n 's/^\(LANCHAT_BUILD_[A-Z]*\):BOOL=/\1=/p' "$work/CMakeCache.txt") | tr '\n' ' '
}
expect() { # what, settings, pattern
  if [[ "$2" == $3 ]]; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "FAIL: $1: '$2'"; fi
}
alone='*LANCHAT_BUILD_BENCH=OFF*LANCHAT_BUILD_TESTS=OFF*'
defaults='*127.255.255.255*WINDOWS-1252*'
expect "the release build is the program alone" "$(settings)" "$defaults$alone"
expect "a setting given holds" "$(settings -DLANCHAT_BROADCAST_ADDRESS=10.9.8.255 -DLANCHAT_CODEPAGE=ISO-8859-15 \
  -DLANCHAT_BUILD_TESTS=ON)" '*10.9.8.255*ISO-8859-15*LANCHAT_BUILD_TESTS=ON*'
expect "settings given once do not stick" "$(settings)" "$defaults$alone"
rm -rf "$work"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
