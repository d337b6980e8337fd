#!/usr/bin/env bash
# Fuzzes what the agent reads from less trusted processes and the network (tagged
# text, the policy reply and settings, record and evidence files, scrambled files,
# host names and addresses, the hosts file, the presence responder's requests) and the packet monitor's target-list builder: libFuzzer
# with ASan and UBSan (clang), each target for a bounded time in its own build
# folder. Ends with "N passed, N failed".
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/agent-fuzz
seconds=${AGENT_FUZZ_SECONDS:-8}
. "$root/scripts/lib/checks.sh"

flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
mkdir -p "$out"
build_agent() {
  clang++ "${flags[@]}" -I"$root" \
    "$root"/agent/core/{tagged_text,scrambled_file,record_files,startup_rules,screen_corner,policy,policy_refresh,verdict,toast_state,host_names,hosts_file,hosts_guard}.cc \
    "$root/agent/responder/core/jsonp_reply.cc" \
    "$root"/common/core/{ansi_text,file_io,safe_folder}.cc "$root"/common/posix/{file_io,safe_folder}_posix.cc \
    "$root/agent/fuzz/agent_fuzz.cc" -o "$out/agent_fuzz"
}
build_target_list() {
  clang++ "${flags[@]}" -I"$root" \
    "$root"/netmon/core/{target_list,packet_text,frame}.cc \
    "$root/netmon/fuzz/target_list_fuzz.cc" -o "$out/target_list_fuzz"
}
check "build agent_fuzz with clang" build_agent
check "build target_list_fuzz with clang" build_target_list

# fuzz NAME BINARY SEEDS [ENV...]: the committed seeds once, then a bounded run
# that grows a corpus kept outside the clone.
fuzz() {
  local name=$1 binary=$2 seeds=$3
  shift 3
  mkdir -p "$out/corpus/$name"
  env "$@" "$binary" -runs=0 "$seeds" >"$out/$name.seeds.log" 2>&1 || {
    grep -E 'ERROR|SUMMARY' "$out/$name.seeds.log"
    return 1
  }
  env "$@" timeout $((seconds + 60)) "$binary" -max_total_time="$seconds" -max_len=4096 \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/$name-" \
    "$out/corpus/$name" "$seeds" >"$out/$name.log" 2>&1
  local rc=$?
  echo "$name: $(grep -E '^stat::number_of_executed_units' "$out/$name.log")"
  grep -E 'ERROR|SUMMARY' "$out/$name.log"
  return $rc
}
if [ -x "$out/agent_fuzz" ]; then
  # The scrambled-file target writes a file per input: in memory where there is
  # a memory file system (a disk's truncate-and-rewrite flushes every time).
  files=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "$out")/agent-fuzz.XXXXXX")
  trap 'rm -rf "$files"' EXIT
  for target in tags policy record scrambled names jsonp hosts; do
    check "fuzz $target ${seconds}s without a crash" fuzz "$target" "$out/agent_fuzz" \
      "$root/agent/fuzz/seeds/$target" AGENT_FUZZ_TARGET="$target" TMPDIR="$files"
  done
fi
if [ -x "$out/target_list_fuzz" ]; then
  check "fuzz target_list ${seconds}s without a crash" fuzz target_list "$out/target_list_fuzz" \
    "$root/netmon/fuzz/target_list_seeds"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
