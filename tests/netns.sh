#!/usr/bin/env bash
# Three hosts on one network segment, made of network namespaces joined by
# veth pairs on a bridge, in a private /24 of the test's own. Each host runs
# the real program, built for that segment's broadcast address, in an X
# server of its own. One host sends; all three histories must show the
# message, and the bytes seen on the bridge must be exactly the datagram.
set -u
src=$1 work=$2
[ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || {
  echo "FAIL: this test builds network namespaces and must run as root (or with sudo without a password)"; exit 1; }
. "$src/tests/x11_lib.sh"
x11_need
command -v tcpdump >/dev/null || { echo "FAIL: tcpdump is missing (Debian package tcpdump)"; exit 1; }

subnet=10.213.91 # private, and only ever inside the namespaces below
tag=lc$$
sw=${tag}sw
hosts=(${tag}h1 ${tag}h2 ${tag}h3)
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null
  for ns in "${hosts[@]}" "$sw"; do ip netns del "$ns" 2>/dev/null; done
}
trap cleanup EXIT

# The program, built for this segment (netns_router.sh shares the folder).
build=$work/lanchat-$subnet.255
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLANCHAT_BROADCAST_ADDRESS=$subnet.255 \
  -DLANCHAT_BUILD_TESTS=OFF -DLANCHAT_BUILD_BENCH=OFF >"$work/netns-build.log" 2>&1 &&
  cmake --build "$build" --target lanchat -j"$(nproc)" >>"$work/netns-build.log" 2>&1 ||
  { echo "FAIL: could not build lanchat for $subnet.255 (see $work/netns-build.log)"; exit 1; }
lanchat=$build/app/lanchat

# The segment: a bridge in a switch namespace, one veth pair per host.
if ! ip netns add "$sw" 2>"$work/netns.err"; then
  echo "FAIL: cannot create network namespaces here: $(cat "$work/netns.err")"; exit 1
fi
ip -n "$sw" link add br0 type bridge
ip -n "$sw" link set br0 up
ip -n "$sw" link set lo up
for i in 0 1 2; do
  ns=${hosts[$i]}
  ip netns add "$ns"
  ip link add eth0 netns "$ns" type veth peer name "port$i" netns "$sw"
  ip -n "$sw" link set "port$i" master br0 up
  ip -n "$ns" addr add $subnet.$((i + 1))/24 brd $subnet.255 dev eth0
  ip -n "$ns" link set eth0 up
  ip -n "$ns" link set lo up
done

ip netns exec "$sw" tcpdump -i br0 -U -n -w "$work/bridge.pcap" udp port 2000 2>/dev/null &
pids+=($!)

displays=() windows=()
for ns in "${hosts[@]}"; do
  x11_start ip netns exec "$ns"; pids+=($X_PID)
  ip netns exec "$ns" env DISPLAY=$X_DISPLAY "$lanchat" 2>>"$work/netns-lanchat.log" & pids+=($!)
  displays+=($X_DISPLAY)
done
for i in 0 1 2; do
  windows+=("$(ip netns exec "${hosts[$i]}" bash -c ". '$src/tests/x11_lib.sh'; x11_window ${displays[$i]} Form1")")
done

in_host() { local i=$1; shift; ip netns exec "${hosts[$i]}" bash -c ". '$src/tests/x11_lib.sh'; $*"; }
in_host 0 "x11_click ${displays[0]} ${windows[0]} \$X_NICKNAME; x11_type ${displays[0]} 'Zoé'"
in_host 0 "x11_click ${displays[0]} ${windows[0]} \$X_MESSAGE; x11_type ${displays[0]} 'Bonjour à tous'"
in_host 0 "x11_click ${displays[0]} ${windows[0]} \$X_SEND"
sleep 1

failures=0 passes=0
check() { if eval "$2"; then passes=$((passes + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi; }
for i in 0 1 2; do
  history=$(in_host $i "x11_copy_history ${displays[$i]} ${windows[$i]}")
  check "history of host $((i + 1)): '$history'" '[ "$history" = "$(printf "\nZoé a dit :\nBonjour à tous")" ]'
done

kill "${pids[0]}"; sleep 0.5
expected=$(printf 'Zoé a dit :Bonjour à tous' | iconv -f UTF-8 -t WINDOWS-1252 | od -An -tx1 | tr -d ' \n')00
# Each captured frame: IPv4 header (20 bytes), UDP header (8), payload.
mapfile -t frames < <(tcpdump -r "$work/bridge.pcap" -n -x 2>/dev/null | awk '
  /^[0-9]/ { if (hex != "") print hex; hex = ""; next }
  { for (i = 2; i <= NF; i++) hex = hex $i } END { if (hex != "") print hex }')
check "one datagram crossed the bridge (saw ${#frames[@]})" '[ "${#frames[@]}" -eq 1 ]'
payload=${frames[0]:56}
check "its bytes: $payload" '[ "$payload" = "$expected" ]'
check "sent to $subnet.255:2000" \
  'tcpdump -r "$work/bridge.pcap" -n 2>/dev/null | grep -q "$subnet.1\.[0-9]* > $subnet.255.2000: UDP, length $(( ${#expected} / 2 ))"'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
