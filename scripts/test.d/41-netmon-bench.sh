#!/usr/bin/env bash
# Benchmarks of the packet monitor, built optimised without sanitizers in their
# own folder: a savefile of one million packets replayed through the per-packet
# URL check against a bare pcap_next_ex loop (goal: ratio >= 0.5), and the CPU
# time of an idle poll on a quiet device (needs root; one end of a veth pair
# alone in a network namespace of its own). Figures are printed, not judged: timing ratios
# vary from machine to machine. Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/netmon-bench
packets=${NETMON_BENCH_PACKETS:-1000000}
. "$root/scripts/lib/checks.sh"
mkdir -p "$out"
ns=qvwidle$$
cleanup() {
  ip netns del "$ns" 2>/dev/null
  rm -f "$out/mixed.pcap"
}
trap cleanup EXIT

build() {
  g++ -std=c++17 -O2 -g -Wall -Wextra -Werror -I"$root" \
    "$root"/netmon/core/{frame,packet_text,target_list,monitor,monitor_run}.cc \
    "$root/netmon/exports/qvw_exports.cc" "$root/netmon/capture/libpcap_posix.cc" \
    "$root/netmon/posix/host_env_posix.cc" "$root/netmon/bench/replay_bench.cc" \
    -lpcap -o "$out/replay_bench"
}
check "build replay_bench" build
[ -x "$out/replay_bench" ] || { echo "$passed passed, $failed failed"; exit 1; }

check "generate $packets packets" "$out/replay_bench" generate "$out/mixed.pcap" "$packets"
replay() {
  "$out/replay_bench" replay "$out/mixed.pcap" | tee "$out/replay.txt"
  local ratio
  ratio=$(sed -n 's/^throughput ratio.*: //p' "$out/replay.txt")
  [ -n "$ratio" ] || return 1
  if awk -v r="$ratio" 'BEGIN { exit !(r >= 0.5) }'; then echo "ratio goal (>= 0.5): met"
  else echo "ratio goal (>= 0.5): NOT met on this run"; fi
}
check "replay through the URL check" replay

idle() {
  if [ "$(id -u)" != 0 ]; then echo "idle poll: needs root - not measured"; return 0; fi
  ip netns add "$ns" &&
  ip netns exec "$ns" sh -c 'echo 1 > /proc/sys/net/ipv6/conf/all/disable_ipv6; echo 1 > /proc/sys/net/ipv6/conf/default/disable_ipv6' &&
  ip -n "$ns" link add qvwidle0 type veth peer name qvwidle1 &&
  ip -n "$ns" link set qvwidle0 up && ip -n "$ns" link set qvwidle1 up &&
  ip netns exec "$ns" timeout 30 "$out/replay_bench" idle qvwidle0 3
}
check "idle poll on a quiet device" idle
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
