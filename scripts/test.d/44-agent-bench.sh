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

core_sources=("$root"/agent/core/{tagged_text,policy,host_names,url_watch,verdict,record_files,hosts_file,hosts_guard}.cc
              "$root"/common/core/{ansi_text,file_io,safe_folder}.cc "$root"/common/posix/{file_io,safe_folder}_posix.cc)
build() {
  g++ -std=c++17 -O2 -g -Wall -Wextra -Werror -I"$root" "${core_sources[@]}" \
    "$root/agent/bench/$1_bench.cc" -lbenchmark -pthread -o "$out/$1_bench"
}
check "build url_watch_bench" build url_watch
check "build verdict_bench" build verdict
check "build hosts_bench" build hosts

# timings NAME: runs NAME_bench and prints "CASE US" per case, its CPU time in
# microseconds (the CSV quotes names but not always units).
timings() {
  "$out/$1_bench" --benchmark_min_time=0.2 --benchmark_format=csv 2>/dev/null > "$out/$1.csv" || return 1
  # csv: name,iterations,real_time,cpu_time,time_unit,...
  awk -F, 'NR > 1 && $1 ~ /^"?BM_/ { gsub(/"/, "", $1); gsub(/"/, "", $5)
      printf "%s %.6f\n", substr($1, 4), $4 * ($5 == "us" ? 1 : $5 == "ms" ? 1000 : $5 == "s" ? 1e6 : 0.001) }' \
    "$out/$1.csv" | grep .
}

# The callback's time per report of each kind, against the goal.
url_watch() {
  local t
  t=$(timings url_watch) || return 1
  echo "$t" | awk '{ if ($2 > worst) worst = $2
      printf "report callback %-30s %8.3f us per report\n", $1 " sites", $2 }
    END { printf "report callback, slowest kind: %.3f us (goal < 5 us: %s)\n", worst, worst < 5 ? "met" : "NOT met on this run" }'
}
check "the report callback's cost" url_watch
[ -x "$out/verdict_bench" ] && check "the record inspection's cost" "$out/verdict_bench" --benchmark_min_time=0.2
# The hosts file's judgement, against its goal.
hosts() {
  local t
  t=$(timings hosts) || return 1
  echo "$t" | awk '$1 == "Judge1MiB128Sites" { ms = $2 / 1000; n++
      printf "hosts file of 1 MiB against 128 sites: %.2f ms (goal < 20 ms: %s)\n", ms, ms < 20 ? "met" : "NOT met on this run" }
    $1 == "ProtectedHosts128Sites" { printf "protected hosts of 128 sites built in %.1f us\n", $2 }
    END { exit n == 0 }'
}
[ -x "$out/hosts_bench" ] && check "the hosts file judgement's cost" hosts
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
