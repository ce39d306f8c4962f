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

# scripts/run.sh's configuration: a setting given once does not stick.
. "$src/scripts/common.sh"
rm -rf "$work"
settings() { (cd "$src" && configure_release "$work" "$@" && built_settings "$work" | tr '\n' ' '); }
first=$(settings -DLANCHAT_BROADCAST_ADDRESS=10.9.8.255 -DLANCHAT_CODEPAGE=ISO-8859-15)
again=$(settings)
if [[ "$first" == *"10.9.8.255"*"ISO-8859-15"* && "$again" == *"127.255.255.255"*"WINDOWS-1252"* ]]; then
  passes=$((passes + 1))
else
  failures=$((failures + 1)); echo "FAIL: run.sh's settings stick: first '$first', then '$again'"
fi
rm -rf "$work"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
