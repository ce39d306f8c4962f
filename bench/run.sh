#!/usr/bin/env bash
# Builds lanchat and its benchmark in Release, and the Windows build (19.,
# lanchat.exe under Wine), and prints the table of figures, each beside a
# baseline measured in the same run. Pass --quick for small counts. Runs as
# root in a network namespace of its own, only loopback up, so that no
# lanchat on the machine sees its floods. The real program runs as an
# ordinary user (lanchat-user, made here), as people run it; the Wine
# figures run as root, as the Wine tests do; net.core.rmem_max, which
# belongs to the host, is set by the benchmark through the host's namespace
# (handed over as a file descriptor) and put back here whatever happens.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
. tests/user_lib.sh
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth xdotool xclip iproute2 \
  dbus-daemon at-spi2-core orca speech-dispatcher # 16.: Orca
[ "$(id -u)" -eq 0 ] || { echo "bench/run.sh runs as root (sudo bench/run.sh)"; exit 1; }
configure benchmark
cmake --build --preset benchmark -j"$(nproc)" >/dev/null
# 19.: the Windows build, run under Wine beside this one.
scripts/windows.sh >/dev/null
user_make
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
limit=$(cat /proc/sys/net/core/rmem_max)
trap 'echo "$limit" > /proc/sys/net/core/rmem_max' EXIT
exec 9</proc/self/ns/net
LANCHAT_BENCH_HOST_NET=/proc/self/fd/9 \
  tests/private_net.sh build/benchmark/bench/lanchat_bench build/benchmark/bench \
  --windows "$PWD/build/windows" "$@"
