#!/usr/bin/env bash
# Runs the monitor library on real packets between two network namespaces of its
# own, joined by a veth pair (capturing side 10.231.7.1, far side 10.231.7.2 and
# .3). The capturing side also gets its own host name and hosts file (private
# UTS and mount namespaces). Nothing leaves these namespaces; every namespace
# is removed at the end, also on failure.
#   run_realtraffic.sh gtest TEST_BINARY
#   run_realtraffic.sh xst HOST_PROGRAM LIBRARY
set -u
mode=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null || ! command -v unshare >/dev/null; then
  echo "realtraffic: needs root, ip and unshare - skipped"
  exit 77
fi

tag=$$
cap=qvwcap$tag
peer=qvwpeer$tag
tmp=$(mktemp -d /tmp/qvwrt.XXXXXX)
peer_pid=
cleanup() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null
  [ -n "${traffic_pid:-}" ] && kill "$traffic_pid" 2>/dev/null
  ip netns del "$cap" 2>/dev/null
  ip netns del "$peer" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

set -e
ip netns add "$cap"
ip netns add "$peer"
ip link add qvwc0 netns "$cap" type veth peer name qvwp0 netns "$peer"
ip -n "$cap" link set lo up
ip -n "$peer" link set lo up
ip -n "$cap" addr add 10.231.7.1/24 dev qvwc0
ip -n "$peer" addr add 10.231.7.2/24 dev qvwp0
ip -n "$peer" addr add 10.231.7.3/24 dev qvwp0
# No IPv6 chatter on the link: the tests count what they send.
for ns in "$cap" "$peer"; do
  ip netns exec "$ns" sh -c 'echo 1 > /proc/sys/net/ipv6/conf/all/disable_ipv6; echo 1 > /proc/sys/net/ipv6/conf/default/disable_ipv6' 2>/dev/null || true
done
ip -n "$cap" link set qvwc0 up
ip -n "$peer" link set qvwp0 up

cat > "$tmp/hosts" <<'HOSTS'
127.0.0.1 localhost
10.231.7.1 qvwhost
10.231.7.15 qvwsub
10.99.0.1 qvwnone
10.231.7.2 peer.test www.example.test
10.231.7.3 secure.bank.test
HOSTS
# No name server outside: unknown names fail on the namespace's own loopback.
echo "nameserver 127.0.0.1" > "$tmp/resolv.conf"

ip netns exec "$peer" timeout 300 python3 "$here/peer.py" "$tmp/peer-ready" &
peer_pid=$!
for _ in $(seq 1 50); do [ -f "$tmp/peer-ready" ] && break; sleep 0.1; done
[ -f "$tmp/peer-ready" ] || { echo "realtraffic: peer did not start"; exit 1; }
# Neighbours resolved before any test starts counting packets.
for a in 10.231.7.2 10.231.7.3; do
  ip netns exec "$cap" timeout 3 bash -c "exec 3<>/dev/tcp/$a/443"
done
set +e

# Runs a command on the capturing side with its own host name and hosts file.
on_capture_side() {
  ip netns exec "$cap" unshare --mount --uts -- sh -c '
    mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/resolv.conf" /etc/resolv.conf &&
    hostname qvwhost && shift && exec "$@"' sh "$tmp" "$@"
}

case $mode in
  gtest)
    on_capture_side timeout 200 "$2" --gtest_color=no
    exit $?
    ;;
  xst)
    # The test entry reads options from its own command line, so the host runs
    # from a folder whose path holds no option text.
    cp "$2" "$tmp/qvWireletHost"
    cp "$3" "$tmp/libqvWirelet.so"
    # Steady web traffic towards the far side while the entry waits for it.
    ip netns exec "$cap" sh -c 'for i in $(seq 1 300); do
        curl -s -m 1 -o /dev/null http://10.231.7.2/ ; sleep 0.1; done' &
    traffic_pid=$!
    on_capture_side timeout 60 "$tmp/qvWireletHost" /d:peer.test /change </dev/null >"$tmp/out.txt" 2>&1
    rc=$?
    cat "$tmp/out.txt"
    failed=0
    expect() {
      if grep -qE -- "$1" "$tmp/out.txt"; then echo "ok: $1"; else echo "MISSING: $1"; failed=1; fi
    }
    expect "^input: .*/qvWireletHost /d:peer.test /change$"
    expect "^domain: peer.test, ip: 10.231.7.2$"
    expect "^QVWMA: same device find - qvwc0$"
    expect "^monitor open$"
    expect "^1. clear filter$"
    expect "^2. get domain packet 10.231.7.2$"
    expect "^QVWMS: filter setted dst host 10.231.7.2$"
    expect "^monitor get [1-9][0-9]* traffics$"
    expect "^3. clear filter \(reOpen\)$"
    expect "^4. get outbound - rang 80~443 packet$"
    expect "^monitor get [1-9][0-9]* traffics in range\(80~443\)$"
    expect "^0 packet = 10.231.7.2:80$"
    expect "^last dest address=[0-9.]+, port=[0-9]+$"
    expect "^monitor done$"
    [ "$rc" = 0 ] || { echo "host program ended with $rc"; failed=1; }
    exit $failed
    ;;
esac
echo "realtraffic: unknown mode $mode"
exit 1
