#!/usr/bin/env bash
# Three segments of two hosts each, private /24s of the test's own, joined by
# a router namespace that loads the README's nftables rules as they are (the
# test's addresses in place of the examples). Each host runs the real
# program, built for its segment, in an X server of its own. One host of each
# segment sends in turn: all six histories must show the three messages once
# each, in order, and the router must put each datagram on each segment once.
set -u
src=$1 work=$2
[ "$(id -u)" -eq 0 ] || exec sudo -n -- "$0" "$@" || {
  echo "FAIL: this test builds network namespaces and must run as root (or with sudo without a password)"; exit 1; }
. "$src/tests/x11_lib.sh"
x11_need
command -v tcpdump >/dev/null || { echo "FAIL: tcpdump is missing (Debian package tcpdump)"; exit 1; }
command -v nft >/dev/null || { echo "FAIL: nft is missing (Debian package nftables)"; exit 1; }

subnets=(10.213.91 10.213.92 10.213.93) # private, only inside the namespaces below
tag=lr$$
sw=${tag}sw router=${tag}r
hosts=(${tag}a1 ${tag}a2 ${tag}b1 ${tag}b2 ${tag}c1 ${tag}c2) # two per segment
pids=()
cleanup() {
  kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null
  for ns in "${hosts[@]}" "$router" "$sw"; do ip netns del "$ns" 2>/dev/null; done
}
trap cleanup EXIT

# The README's rules: the block after its marker, example addresses replaced.
rules=$(awk '/^<!-- tests\/netns_router.sh/ { marked = 1; next }
  marked && /^```/ { if (body) exit; body = 1; next } body' "$src/README.md" |
  sed 's/192\.168\.\([123]\)\./10.213.9\1./g')
[ -n "$rules" ] || { echo "FAIL: no router rules found in $src/README.md"; exit 1; }

# The program, once per segment; netns.sh builds the same folder for 10.213.91.
for net in "${subnets[@]}"; do
  build=$work/lanchat-$net.255
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLANCHAT_BROADCAST_ADDRESS=$net.255 \
    -DLANCHAT_BUILD_TESTS=OFF -DLANCHAT_BUILD_BENCH=OFF >"$work/router-build.log" 2>&1 &&
    cmake --build "$build" --target lanchat -j"$(nproc)" >>"$work/router-build.log" 2>&1 ||
    { echo "FAIL: could not build lanchat for $net.255 (see $work/router-build.log)"; exit 1; }
done

# Each segment a bridge in the switch namespace; the router has eth1..eth3,
# one per segment, and is each host's default gateway.
if ! ip netns add "$sw" 2>"$work/router.err"; then
  echo "FAIL: cannot create network namespaces here: $(cat "$work/router.err")"; exit 1
fi
ip netns add "$router"
for ns in "$sw" "$router"; do ip -n "$ns" link set lo up; done
for s in 0 1 2; do
  net=${subnets[$s]}
  ip -n "$sw" link add br$s type bridge
  ip -n "$sw" link set br$s up
  ip link add eth$((s + 1)) netns "$router" type veth peer name r$s netns "$sw"
  ip -n "$sw" link set r$s master br$s up
  ip -n "$router" addr add $net.254/24 brd $net.255 dev eth$((s + 1))
  ip -n "$router" link set eth$((s + 1)) up
  for h in 0 1; do
    ns=${hosts[$((2 * s + h))]}
    ip netns add "$ns"
    ip link add eth0 netns "$ns" type veth peer name h$s$h netns "$sw"
    ip -n "$sw" link set h$s$h master br$s up
    ip -n "$ns" addr add $net.$((h + 1))/24 brd $net.255 dev eth0
    ip -n "$ns" link set eth0 up
    ip -n "$ns" link set lo up
    ip -n "$ns" route add default via $net.254
  done
done
printf '%s\n' "$rules" | ip netns exec "$router" nft -f - ||
  { echo "FAIL: the router refuses the README's rules"; exit 1; }

ip netns exec "$router" tcpdump -i any -U -n -w "$work/router.pcap" udp port 2000 2>/dev/null &
pids+=($!)

displays=() windows=()
for i in 0 1 2 3 4 5; do
  x11_start ip netns exec "${hosts[$i]}"; pids+=($X_PID)
  ip netns exec "${hosts[$i]}" env DISPLAY=$X_DISPLAY "$work/lanchat-${subnets[$((i / 2))]}.255/app/lanchat" \
    2>>"$work/router-lanchat.log" & pids+=($!)
  displays+=($X_DISPLAY)
done
in_host() { local i=$1; shift; ip netns exec "${hosts[$i]}" bash -c ". '$src/tests/x11_lib.sh'; $*"; }
for i in 0 1 2 3 4 5; do windows+=("$(in_host $i "x11_window ${displays[$i]} Form1")"); done

# The first host of each segment sends, one after the other.
nicks=(Ana Bruno Chloé) messages=("Bonjour d'en bas" "Ça marche au 1er" "Et au 2e étage ?")
for s in 0 1 2; do
  i=$((2 * s)) d=${displays[$((2 * s))]} w=${windows[$((2 * s))]}
  in_host $i "x11_click $d $w \$X_NICKNAME; x11_type $d '${nicks[$s]}'"
  in_host $i "x11_click $d $w \$X_MESSAGE; x11_type $d \"${messages[$s]}\""
  in_host $i "x11_click $d $w \$X_SEND"
  sleep 0.5
done
sleep 1

failures=0 passes=0
check() { if eval "$2"; then passes=$((passes + 1)); else echo "FAIL: $1"; failures=$((failures + 1)); fi; }
expected=$(for s in 0 1 2; do printf '\n%s a dit :\n%s' "${nicks[$s]}" "${messages[$s]}"; done)
for i in 0 1 2 3 4 5; do
  history=$(in_host $i "x11_copy_history ${displays[$i]} ${windows[$i]}")
  check "history of ${hosts[$i]}: '$history'" '[ "$history" = "$expected" ]'
done

# On each segment's interface of the router: the sender's broadcast coming in
# and one copy of each other segment's going out, sources kept; nothing twice.
kill "${pids[0]}"; sleep 0.5
# Interface, direction (B: a broadcast in, Out: a copy), source, destination.
seen=$(ip netns exec "$router" tcpdump -r "$work/router.pcap" -n 2>/dev/null | awk '{ print $2, $3, $5, $7 }' | sort)
wanted=$(for s in 1 2 3; do for t in 1 2 3; do
  [ $s = $t ] && way=B || way=Out
  echo "eth$s $way 10.213.9$t.1.2000 10.213.9$s.255.2000:"; done; done | sort)
echo "On the router:"; echo "$seen"
check "each datagram once on each segment" '[ "$seen" = "$wanted" ]'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
