#!/usr/bin/env bash
# Fuzzes the packet monitor's per-packet URL check and DNS rendering (libFuzzer
# with ASan and UBSan, clang) for a bounded time, in its own build folder.
# Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=${NETMON_FUZZ_SECONDS:-30}
. "$root/scripts/lib/checks.sh"

mkdir -p "$out/corpus"
build() {
  clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" \
    "$root"/netmon/core/{frame,packet_text,target_list,monitor,monitor_run}.cc \
    "$root/netmon/fuzz/netmon_fuzz.cc" -o "$out/netmon_fuzz"
}
check "build netmon_fuzz with clang" build
if [ -x "$out/netmon_fuzz" ]; then
  # The committed seeds, each once, then a bounded run that grows a corpus kept
  # outside the clone.
  check "seeds replay" "$out/netmon_fuzz" -runs=0 "$root/netmon/fuzz/seeds"
  fuzz() {
    timeout $((seconds + 60)) "$out/netmon_fuzz" -max_total_time="$seconds" -max_len=1600 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/" \
      "$out/corpus" "$root/netmon/fuzz/seeds" >"$out/fuzz.log" 2>&1
    local rc=$?
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added))|ERROR|SUMMARY' "$out/fuzz.log"
    return $rc
  }
  check "fuzz ${seconds}s without a crash" fuzz
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
