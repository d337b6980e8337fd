#!/usr/bin/env bash
# Benchmarks of the agent's portable decisions, built optimised without
# sanitizers in their own folder: the URL watcher's report callback without the
# name lookup (goal: under 5 us per report), the inspection of a record
# against a full table, and the hosts guard's judgement of a 1 MiB hosts file
# against 128 sites (goal: under 20 ms). Figures are printed, not judged. Ends with
# "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/agent-bench
. "$root/scripts/lib/checks.sh"
mkdir -p "$out"

core_sources=("$root"/agent/core/{tagged_text,policy,host_names,url_watch,verdict,record_files,hosts_file}.cc
              "$root"/common/core/{ansi_text,safe_folder}.cc "$root"/common/posix/{file_io,safe_folder}_posix.cc)
build() {
  g++ -std=c++17 -O2 -g -Wall -Wextra -Werror -I"$root/agent" -I"$root/common" "${core_sources[@]}" \
    "$root/agent/bench/$1_bench.cc" -lbenchmark -pthread -o "$out/$1_bench"
}
check "build url_watch_bench" build url_watch
check "build verdict_bench" build verdict
check "build hosts_bench" build hosts

# The callback's time per report of each kind, against the goal.
url_watch() {
  "$out/url_watch_bench" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null > "$out/url_watch.csv" || return 1
  # csv: name,iterations,real_time,cpu_time,time_unit,...
  awk -F, 'NR > 1 && $1 ~ /^"BM_/ {
      gsub(/"/, "", $1); gsub(/"/, "", $5); us = $4 / ($5 == "us" ? 1 : $5 == "ms" ? 0.001 : 1000)
      if (us > worst) worst = us
      printf "report callback %-30s %8.3f us per report\n", substr($1, 4) " sites", us; n++ }
    END { if (n == 0) exit 1
          printf "report callback, slowest kind: %.3f us (goal < 5 us: %s)\n", worst, worst < 5 ? "met" : "NOT met on this run" }' \
    "$out/url_watch.csv"
}
check "the report callback's cost" url_watch
[ -x "$out/verdict_bench" ] && check "the record inspection's cost" "$out/verdict_bench" --benchmark_min_time=0.2
# The hosts file's judgement, against its goal.
hosts() {
  "$out/hosts_bench" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null > "$out/hosts.csv" || return 1
  awk -F, 'NR > 1 && $1 ~ /"BM_Judge1MiB128Sites"/ {
      gsub(/"/, "", $5); ms = $4 / ($5 == "ms" ? 1 : $5 == "us" ? 1000 : 1000000); n++
      printf "hosts file of 1 MiB against 128 sites: %.2f ms (goal < 20 ms: %s)\n", ms, ms < 20 ? "met" : "NOT met on this run" }
    NR > 1 && $1 ~ /"BM_ProtectedHosts128Sites"/ { printf "protected hosts of 128 sites built in %.1f %s\n", $4, $5 }
    END { if (n == 0) exit 1 }' "$out/hosts.csv"
}
[ -x "$out/hosts_bench" ] && check "the hosts file judgement's cost" hosts
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
