#!/usr/bin/env bash
# Idle figures under Wine, in the private prefix and network namespaces of the
# real-traffic tests (netmon/tests/realtraffic/run_realtraffic.sh idlewine): the
# agent with its URL watcher polling a real but quiet capture (goal: below 1 %
# of one core), and the keep-alive service beside it, as on a protected PC
# (goal: no periodic wake-ups beyond its 30 s session watch), both over the same
# IDLE_BENCH_SECONDS (30 by default). Figures are printed, not judged; checked
# is that both ran and were measured. Needs root (skipped otherwise). Ends with
# "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${IDLE_BENCH_SECONDS:-30}
. "$root/scripts/lib/checks.sh"
out=$(mktemp)
trap 'rm -f "$out"' EXIT

bash "$root/netmon/tests/realtraffic/run_realtraffic.sh" idlewine "$root/out/win64" "$seconds" >"$out" 2>&1
rc=$?
cat "$out"
if [ "$rc" = 77 ]; then
  echo "skipped: needs root"
else
  check "the agent and the service idled under Wine and were measured" test "$rc" = 0
  check "the agent's figures" grep -q '^agent, its watcher polling a quiet capture, over ' "$out"
  check "the service's figures" grep -q '^keep-alive service threads, seconds of ' "$out"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
