#!/usr/bin/env bash
# Benchmark of the presence responder beside nginx, both on loopback with the
# same certificate, protocols and ciphers and no session reuse, measured in the
# same run by the same load client (built optimised without sanitizers):
# requests/s and p99 time to a reply at 10 and 200 concurrent clients (goal:
# ratio responder/nginx >= 1.0, the median of rounds measured back to back) and
# the server CPU time per reply; with 500 idle connections held, threads,
# resident memory and the time to answer a real request (goal < 1 s); the
# responder's wake-ups and CPU time over 5 s without traffic (goal: none).
# Ratios and goals are printed, not judged; checked are only that the servers
# came up, replies were right, and the real request under idle load was answered
# in time. Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/responder-bench
# The responder is built here optimised, without the linux tree's sanitizers,
# so that both servers run as they would ship; RESPONDER_PROGRAM picks another.
program=${RESPONDER_PROGRAM:-$out/presence_responder}
seconds=${RESPONDER_BENCH_SECONDS:-2}
rounds=${RESPONDER_BENCH_ROUNDS:-3}
max_requests=200000
idle_held=500
. "$root/scripts/lib/checks.sh"
. "$root/tests/support/local_servers.sh"
. "$root/scripts/lib/proc_figures.sh"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'stop_local_servers; rm -rf "$tmp"' EXIT
ulimit -n 4096 2>/dev/null

build() {
  g++ -std=c++17 -O2 -g -Wall -Wextra -Werror "$root/agent/responder/bench/load_client.cc" \
    -lssl -lcrypto -pthread -o "$out/load_client"
}
check "build load_client" build
build_responder() {
  local r=$root/agent/responder
  g++ -std=c++17 -O2 -g -Wall -Wextra -Werror -I"$root" "$r/linux/main.cc" "$r/core/jsonp_reply.cc" \
    "$r"/server/{connection,responder,socket_posix,tls_context}.cc -lssl -lcrypto -pthread \
    -o "$out/presence_responder"
}
[ -z "${RESPONDER_PROGRAM:-}" ] && check "build presence_responder (optimised)" build_responder
check "test certificates" bash "$root/tests/support/make_test_certs.sh" "$out/certs"
[ -x "$out/load_client" ] && [ -s "$out/certs/locrt" ] || { echo "$passed passed, $failed failed"; exit 1; }

nginx_port=$(free_port)
responder_port=$(free_port)
check "nginx came up on 127.0.0.1:$nginx_port" start_nginx_jsonp "$tmp/nginx" "$out/certs" "$nginx_port"
check "responder came up on 127.0.0.1:$responder_port" \
  start_responder "$program" "$out/certs" "$responder_port" "$tmp/responder.log"
nginx_up=0; kill -0 "${nginx_pid:-0}" 2>/dev/null && nginx_up=1
responder_up=0; grep -q "listening on" "$tmp/responder.log" 2>/dev/null && responder_up=1

quietly() { "$@" >/dev/null; }
# field FILE NAME: the value after "NAME: " in a client's output.
field() { sed -n "s|^$2: ||p" "$1" 2>/dev/null | head -n 1; }

# The server's processes: nginx's master and its workers, or the responder alone.
server_pids() {
  if [ "$1" = nginx ]; then echo "$nginx_pid" $(ps -o pid= --ppid "$nginx_pid"); else echo "$responder_pid"; fi
}
hz=$(getconf CLK_TCK)

# load NAME PORT CLIENTS ROUND: one load point, its output in $tmp/NAME-CLIENTS-ROUND.txt,
# with the server's CPU time per reply beside it (less disturbed by other work
# on the machine than the rate is).
load() {
  local file=$tmp/$1-$3-$4.txt pids before
  pids=$(server_pids "$1")
  before=$(cpu_ticks $pids)
  "$out/load_client" load 127.0.0.1 "$2" "$3" "$seconds" "$max_requests" > "$file"
  awk -v t=$(($(cpu_ticks $pids) - before)) -v hz="$hz" -v n="$(field "$file" replies)" \
    'BEGIN { printf "server CPU us per reply: %.0f\n", (n > 0 ? t * 1e6 / hz / n : 0) }' >> "$file"
  printf '%-9s %3s clients: %8s requests/s, p50 %7s ms, p99 %7s ms, %4s us CPU per reply, errors %s\n' "$1" "$3" \
    "$(field "$file" requests/s)" "$(field "$file" "p50 ms")" "$(field "$file" "p99 ms")" \
    "$(field "$file" "server CPU us per reply")" "$(field "$file" errors)"
  [ "$(field "$file" errors)" = 0 ]
}

# ratio CLIENTS: the median over the rounds of responder/nginx, each round's two
# runs measured back to back so that other load on the machine hits both alike.
ratio() {
  local round r n
  for round in $(seq "$rounds"); do
    r=$(field "$tmp/responder-$1-$round.txt" requests/s)
    n=$(field "$tmp/nginx-$1-$round.txt" requests/s)
    [ -n "$r" ] && [ -n "$n" ] && echo "$r $n"
  done | awk -v c="$1" '$2 > 0 { q[++k] = $1 / $2 } END {
    if (k == 0) exit
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (q[j] < q[i]) { t = q[i]; q[i] = q[j]; q[j] = t }
    m = k % 2 ? q[(k + 1) / 2] : (q[k / 2] + q[k / 2 + 1]) / 2
    printf "ratio responder/nginx at %s clients, median of %d rounds: %.2f (goal >= 1.0: %s)\n", c, k, m,
      (m >= 1.0) ? "met" : "NOT met on this run" }'
}

servers=()
[ "$nginx_up" = 1 ] && servers+=("nginx:$nginx_port")
[ "$responder_up" = 1 ] && servers+=("responder:$responder_port")
for entry in "${servers[@]}"; do
  check "${entry%%:*} answers the JSONP reply" quietly "$out/load_client" load 127.0.0.1 "${entry#*:}" 1 5 1
done
for clients in 10 200; do
  for round in $(seq "$rounds"); do
    for entry in "${servers[@]}"; do
      check "${entry%%:*} at $clients clients without errors" load "${entry%%:*}" "${entry#*:}" "$clients" "$round"
    done
  done
  ratio "$clients"
done

# status_sum FIELD PID...: the sum of a /proc status field over the processes.
status_sum() {
  local field=$1; shift
  local p
  for p in "$@"; do cat "/proc/$p/status" 2>/dev/null; done | awk -v f="$field:" '$1 == f { s += $2 } END { print s + 0 }'
}

# idle NAME PORT: threads, memory and one real request while idle connections are held.
idle() {
  local file=$tmp/$1-idle.txt
  "$out/load_client" idle 127.0.0.1 "$2" "$idle_held" 2 > "$file" &
  local client=$!
  wait_for_line "$file" '^holding' 15
  local pids
  pids=$(server_pids "$1")
  printf '%-9s with %s idle connections: %s threads, VmRSS %s kB, %s\n' "$1" "$idle_held" \
    "$(status_sum Threads $pids)" "$(status_sum VmRSS $pids)" \
    "$(grep -E '^(idle connections held|reply under idle load)' "$file" | paste -sd, -)"
  wait "$client"
  local ms
  ms=$(field "$file" "reply under idle load ms")
  [ -n "$ms" ] && awk -v ms="$ms" 'BEGIN { exit !(ms < 1000) }'
}
for entry in "${servers[@]}"; do
  check "${entry%%:*} answers within 1 s while $idle_held idle connections are held" idle "${entry%%:*}" "${entry#*:}"
done

# quiet_cpu: both servers over the same 5 s without traffic.
quiet_cpu() {
  sleep 1  # let the last connections' threads end first
  local entry name before=()
  for entry in "${servers[@]}"; do
    name=${entry%%:*}
    before+=("$(wakeups $(server_pids "$name")) $(cpu_ticks $(server_pids "$name"))")
  done
  sleep 5
  local i=0 w t
  for entry in "${servers[@]}"; do
    name=${entry%%:*}
    read -r w t <<< "${before[$i]}"
    w=$(($(wakeups $(server_pids "$name")) - w)); t=$(($(cpu_ticks $(server_pids "$name")) - t))
    printf '%-9s without traffic for 5 s: %s wake-ups, %s clock ticks of CPU (goal none: %s)\n' "$name" "$w" "$t" \
      "$([ $((w + t)) -eq 0 ] && echo met || echo NOT met)"
    i=$((i + 1))
    kill -0 $(server_pids "$name") 2>/dev/null || return 1
  done
}
[ ${#servers[@]} -gt 0 ] && check "the servers still run after 5 quiet seconds" quiet_cpu
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
