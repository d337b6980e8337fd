# Figures of running processes from /proc, for the benchmarks (sourced).
# wakeups PID...: the wake-ups (voluntary and forced context switches) of all
# their threads so far; cpu_ticks PID...: their CPU time in clock ticks.
wakeups() {
  local p
  for p in "$@"; do cat /proc/"$p"/task/*/status 2>/dev/null; done |
    awk '$1 == "voluntary_ctxt_switches:" || $1 == "nonvoluntary_ctxt_switches:" { s += $2 } END { print s + 0 }'
}
cpu_ticks() {
  local p
  for p in "$@"; do cat "/proc/$p/stat" 2>/dev/null; done | awk '{ s += $14 + $15 } END { print s + 0 }'
}
# thread_wakeups PID: "TID:N" for each thread, N its wake-ups so far.
thread_wakeups() {
  local t
  for t in /proc/"$1"/task/*; do
    awk -v t="${t##*/}" '$1 == "voluntary_ctxt_switches:" || $1 == "nonvoluntary_ctxt_switches:" { s += $2 }
      END { printf "%s:%d ", t, s }' "$t/status" 2>/dev/null
  done
}
