#!/usr/bin/env bash
# Builds lanchat and its benchmark in Release and prints the table of
# figures, each beside a baseline measured in the same run. Pass --quick for
# small counts. Runs as root in a network namespace of its own, only
# loopback up, so that no lanchat on the machine sees its floods.
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" xvfb xauth xdotool xclip iproute2 \
  dbus-daemon at-spi2-core orca speech-dispatcher # 16.: Orca
cmake --preset benchmark >/dev/null
cmake --build --preset benchmark -j"$(nproc)" >/dev/null
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
exec tests/private_net.sh build/benchmark/bench/lanchat_bench build/benchmark/bench "$@"
