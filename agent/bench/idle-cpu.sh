#!/usr/bin/env bash
# Idle CPU use of the agent under Wine: the X edition started with no policy
# server, left alone for a minute after its start-up, its process's CPU time read
# from /proc before and after.  Usage: agent/bench/idle-cpu.sh [seconds]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
. "$root/tools/wine/wine-env.sh"
tessal_wine_ready
dir=$(mktemp -d)
trap 'kill "$wine_pid" 2>/dev/null; rm -rf "$dir"' EXIT
cp "$root/out/win64/qvTessalKestra.exe" "$dir/"
wine "$dir/qvTessalKestra.exe" </dev/null >/dev/null 2>&1 &
wine_pid=$!
sleep 10  # start-up and the first refresh
pid=$(pgrep -f 'qvTessalKestra.exe' | head -n 1)
[ -n "$pid" ] || { echo "the agent is not running"; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks "$pid")
sleep "$seconds"
after=$(ticks "$pid")
used_ms=$(( (after - before) * 1000 / hz ))
echo "agent idle CPU: ${used_ms} ms of CPU in ${seconds} s ($(awk "BEGIN {printf \"%.3f\", $used_ms / ($seconds * 10)}")% of one core)"
