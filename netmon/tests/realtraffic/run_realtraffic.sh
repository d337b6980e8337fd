#!/usr/bin/env bash
# Runs the monitor library on real packets between two network namespaces of its
# own, joined by a veth pair (capturing side 10.231.7.1, far side 10.231.7.2 and
# .3). The capturing side also gets its own host name and hosts file (private
# UTS and mount namespaces). Nothing leaves these namespaces; every namespace
# is removed at the end, also on failure.
#   run_realtraffic.sh gtest TEST_BINARY
#   run_realtraffic.sh xst HOST_PROGRAM LIBRARY
#   run_realtraffic.sh wine PROBE_EXE DLL     (the Windows build under Wine)
#   run_realtraffic.sh xstwine HOST_EXE DLL   (the Windows test entry under Wine)
#   run_realtraffic.sh xstwine-nocapture HOST_EXE DLL   (the same without wpcap.dll)
#   run_realtraffic.sh watch WATCH_HOST LIBRARY  (the agent's URL watcher on these packets)
set -u
mode=$1
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null || ! command -v unshare >/dev/null; then
  echo "realtraffic: needs root, ip and unshare - skipped"
  exit 77
fi

# Namespaces left by an earlier run that was killed outright (its process is
# gone) are removed first.
for ns in $(ip netns list 2>/dev/null | sed -n 's/^\(qvw\(cap\|peer\)[0-9]\+\).*/\1/p'); do
  kill -0 "${ns##*[a-z]}" 2>/dev/null || ip netns del "$ns"
done

tag=$$
cap=qvwcap$tag
peer=qvwpeer$tag
tmp=$(mktemp -d /tmp/qvwrt.XXXXXX)
peer_pid=
cleanup() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null
  [ -n "${traffic_pid:-}" ] && kill "$traffic_pid" 2>/dev/null
  # The private Wine prefix's server (and with it its programs) ends here.
  if [ -f "$tmp/wineserver.pid" ]; then
    kill "$(cat "$tmp/wineserver.pid")" 2>/dev/null
    sleep 1
  fi
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
# A device without an Ethernet link type (raw IP), for the refusal of such a device.
ip -n "$cap" tuntap add dev qvwtun0 mode tun
ip -n "$cap" addr add 10.232.9.1/24 dev qvwtun0
ip -n "$cap" link set qvwtun0 up
ip -n "$peer" link set qvwp0 up

cat > "$tmp/hosts" <<'HOSTS'
127.0.0.1 localhost
10.231.7.1 qvwhost
10.231.7.15 qvwsub
10.99.0.1 qvwnone
10.232.9.1 qvwtunhost
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

failed=0
expect() {  # expect REGEX: a line of the output must match
  if grep -qE -- "$1" "$tmp/out.txt"; then echo "ok: $1"; else echo "MISSING: $1"; failed=1; fi
}
# Steady web traffic towards the far side (bounded) while a program waits for it.
web_traffic() {
  ip netns exec "$cap" sh -c 'for i in $(seq 1 300); do
      curl -s -m 1 -o /dev/null http://10.231.7.2/ ; sleep 0.1; done' &
  traffic_pid=$!
}
# Runs a Windows program under Wine on the capturing side. Wine's wpcap.dll
# names devices through the prefix's network service, which must run in this
# namespace: a private prefix whose server and services all start in here,
# never the shared prefix of the other Windows tests. The program gets a
# terminal (script), where its console shows, and one key press waiting.
in_private_wine() {
  mkdir -p "$tmp/wineprefix"
  # Debian's Wine keeps a server's socket in /tmp/wine-XXXXXX/server-DEV-INODE
  # (of the prefix folder).
  server_dir="server-$(stat -c %D "$tmp/wineprefix")-$(printf %x "$(stat -c %i "$tmp/wineprefix")")"
  on_capture_side env WINEPREFIX="$tmp/wineprefix" WINEARCH=win64 WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=" sh -c '
    wineserver -f -p0 </dev/null >/dev/null 2>&1 &
    echo $! > "$1/wineserver.pid"
    # The first program must find this server, not start a second one.
    for i in $(seq 1 100); do
      ls /tmp/wine-*/"$2"/socket >/dev/null 2>&1 && break
      sleep 0.1
    done
    shift 2
    if [ -n "${QVW_NO_WPCAP:-}" ]; then
      # As on a PC without the capture driver: no wpcap.dll for this program.
      wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")\\DllOverrides" \
        /v wpcap /d "" /f >/dev/null 2>&1
    fi
    printf x | timeout 90 script -qec "stty cols 250 -echo; wine $*" /dev/null' sh "$tmp" "$server_dir" "$@" \
    >"$tmp/out.txt" 2>&1
  local rc=$?
  # The server ends by itself once its programs have; waited for, bounded.
  for _ in $(seq 1 100); do
    kill -0 "$(cat "$tmp/wineserver.pid")" 2>/dev/null || break
    sleep 0.1
  done
  kill "$(cat "$tmp/wineserver.pid")" 2>/dev/null && sleep 0.5
  # Its socket folder goes too (a later prefix may get the same inode).
  for d in /tmp/wine-*/"$server_dir"; do
    [ -e "$d/socket" ] && continue
    rm -rf "$d" && rmdir "$(dirname "$d")" 2>/dev/null
  done
  # Back to plain lines: the console moves the cursor over spaces.
  perl -pe 's/\e\[(\d*)C/" " x ($1 || 1)/ge; s/\e\[[0-9;?]*[A-Za-z]//g; s/\r//g' \
    "$tmp/out.txt" >"$tmp/out2.txt" &&
    mv "$tmp/out2.txt" "$tmp/out.txt"
  return $rc
}
# The lines of the test entry's "/change" sequence towards peer.test.
expect_change_sequence() {
  expect "^domain: peer.test, ip: 10.231.7.2$"
  expect "^QVWMA: same device find - .+$"
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
}

# The agent's URL watcher: its broadcasts, one per line of its output, and the
# record files it writes them into.
watch_lines() { grep -cE -- "$1" "$tmp/out.txt"; }
wait_for_lines() {  # wait_for_lines REGEX COUNT: bounded
  for _ in $(seq 1 100); do [ "$(watch_lines "$1")" -ge "$2" ] && return 0; sleep 0.1; done
  echo "MISSING: $2 x $1"; failed=1; return 1
}
https_to_bank() { ip netns exec "$cap" timeout 2 bash -c 'exec 3<>/dev/tcp/10.231.7.3/443; printf x >&3'; }
# A request naming the host, sent to a far-side sink that never answers, so no
# page (with links of its own) comes back to be reported.
web_with_host() {
  ip netns exec "$cap" timeout 2 bash -c 'exec 3<>/dev/tcp/10.231.7.2/443; printf "GET / HTTP/1.1\r\nHost: %s\r\n\r\n" "$1" >&3' sh "$1"
}
advance_clock() {  # the watcher's clock a minute on, before any later packet
  echo "advance 61000" >&5
  wait_for_lines '^advanced to ' "$1"
}
run_watch() {
  mkdir -p "$tmp/work"
  mkfifo "$tmp/commands"
  on_capture_side timeout 120 "$tmp/url_watch_host" --library "$tmp/libqvWirelet.so" --work "$tmp/work" \
    --records 7,8 --address-list "https://secure.bank.test;" --target secure.bank.test --max-seconds 100 \
    <"$tmp/commands" >"$tmp/out.txt" 2>&1 &
  watch_pid=$!
  exec 5>"$tmp/commands"
  wait_for_lines '^ready$' 1 || return
  local dns='^broadcast <DNS>https://secure.bank.test</DNS><ADR>10.231.7.3</ADR>$'
  local canonical='^broadcast <URL_CANONICAL>https?://www\.example\.test[^<>]*</URL_CANONICAL>$'
  https_to_bank
  wait_for_lines "$dns" 1
  https_to_bank                      # within the minute: nothing more
  web_with_host www.example.test     # once its line is there, the packets before it were seen
  wait_for_lines "$canonical" 1
  [ "$(watch_lines "$dns")" = 1 ] && echo "ok: the repeat within a minute is suppressed" ||
    { echo "REPEATED: $dns"; failed=1; }
  advance_clock 1
  https_to_bank
  wait_for_lines "$dns" 2 && echo "ok: reported again after the minute"
  web_with_host 'evil<b>x</b>.test'
  advance_clock 2
  web_with_host www.example.test
  wait_for_lines "$canonical" 2
  ! grep -q 'evil' "$tmp/out.txt" "$tmp"/work/* && echo "ok: a host with tags reaches no record file" ||
    { echo "LEAKED: a host with tags"; failed=1; }
  for n in 00007 00008; do
    grep -qE '^<URL_CANONICAL>https?://www\.example\.test[^<>]*</URL_CANONICAL>$' "$tmp/work/TESSALKESTRA_$n" &&
      echo "ok: record $n holds the last broadcast" || { echo "MISSING: record $n"; failed=1; }
  done
  echo stop >&5
  exec 5>&-
  wait "$watch_pid"
}

case $mode in
  watch)
    cp "$2" "$tmp/url_watch_host"
    cp "$3" "$tmp/libqvWirelet.so"
    run_watch
    cat "$tmp/out.txt"
    exit $failed
    ;;
  gtest)
    on_capture_side timeout 200 "$2" --gtest_color=no
    exit $?
    ;;
  xst)
    # The test entry reads options from its own command line, so the host runs
    # from a folder whose path holds no option text.
    cp "$2" "$tmp/qvWireletHost"
    cp "$3" "$tmp/libqvWirelet.so"
    web_traffic
    on_capture_side timeout 60 "$tmp/qvWireletHost" /d:peer.test /change </dev/null >"$tmp/out.txt" 2>&1
    rc=$?
    cat "$tmp/out.txt"
    expect "^input: .*/qvWireletHost /d:peer.test /change$"
    expect "^QVWMA: same device find - qvwc0$"
    expect_change_sequence
    [ "$rc" = 0 ] || { echo "host program ended with $rc"; failed=1; }
    exit $failed
    ;;
  xstwine)
    cp "$2" "$tmp/qvWireletHost.exe"
    cp "$3" "$tmp/qvWirelet.dll"
    web_traffic
    in_private_wine "$tmp/qvWireletHost.exe" /d:peer.test /change
    rc=$?
    cat "$tmp/out.txt"
    expect "^input: .*qvWireletHost.exe.? /d:peer.test /change$"
    expect_change_sequence
    expect "^type any key..monitor done$"
    [ "$rc" = 0 ] || { echo "host program ended with $rc"; failed=1; }
    exit $failed
    ;;
  xstwine-nocapture)
    cp "$2" "$tmp/qvWireletHost.exe"
    cp "$3" "$tmp/qvWirelet.dll"
    QVW_NO_WPCAP=1 in_private_wine "$tmp/qvWireletHost.exe" /d:peer.test
    rc=$?
    cat "$tmp/out.txt"
    expect "^domain: peer.test, ip: 10.231.7.2$"
    expect "^QVWMA: getting live ip = 10.231.7.1$"
    expect "^QVWMA: Error in pcap_findalldevs_ex: wpcap.dll is not available$"
    expect "^QVWME: no open i/f handle$"
    expect "^monitor open error ?$"  # the terminal drops the trailing space
    # The entry ends with 0, which the host turns into exit code 1.
    [ "$rc" = 1 ] || { echo "host program ended with $rc, not 1"; failed=1; }
    exit $failed
    ;;
  wine)
    # Web, https and DNS traffic while the probe watches.
    ip netns exec "$cap" bash -c 'for i in $(seq 1 150); do
        curl -s -m 1 -o /dev/null http://10.231.7.2/
        timeout 1 bash -c "exec 3<>/dev/tcp/10.231.7.3/443; printf x >&3"
        printf "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x03www\x04bank\x04test\x00\x00\x01\x00\x01" >/dev/udp/10.231.7.2/53
        sleep 0.2; done' 2>/dev/null &
    traffic_pid=$!
    in_private_wine "$2" "Z:$3"  # Windows takes the forward slashes as they are
    rc=$?
    cat "$tmp/out.txt"
    expect "^open: 1 "
    expect "^set: 1$"
    expect "^captures: [1-9][0-9]* first 10.231.7.2:80$"
    expect "^geturl: 1$"
    expect "^report: ip:10.231.7.3$"
    expect "^open again: 1$"
    expect "^dns: 1$"
    [ "$rc" = 0 ] || { echo "probe ended with $rc"; failed=1; }
    exit $failed
    ;;
esac
echo "realtraffic: unknown mode $mode"
exit 1
