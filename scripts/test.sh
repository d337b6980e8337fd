#!/usr/bin/env bash
# Sets up the machine, builds the three trees and runs every test: the native
# suites, the Windows suites under Wine, and the extra suites in scripts/test.d/.
# Ends with one line "total: N passed, N failed"; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$(date +%s)

bash scripts/setup.sh || { echo "total: 0 passed, 1 failed"; exit 1; }

passed=0
failed=0
log_dir=$root/build/test-logs
mkdir -p "$log_dir"

# Adds the counts of a ctest run ("N% tests passed, F tests failed out of T").
count_ctest() {
  local line total f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  f=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - f))
  failed=$((failed + f))
}

# A step's heading, which also says how long the step before it took.
step_name=setup
step_start=$start
heading() {
  local now
  now=$(date +%s)
  echo "== $1   ($step_name took $((now - step_start)) s)"
  step_name=$1
  step_start=$now
}

# Names every case that failed once and then passed on its second run: such a
# case is a fault to find, so it is shown, not hidden in the count.
report_second_runs() {
  local name
  while read -r name; do
    grep -qE "Test +#[0-9]+: $name \.+ +Passed" "$1" && echo "passed only on its second run: $name"
  done < <(grep -oE 'Test +#[0-9]+: [^ ]+ \.+\*\*\*(Failed|Exception|Timeout)' "$1" | sed -E 's/.*: ([^ ]+) .*/\1/' | sort -u)
}

for preset in linux win32 win64; do
  heading "build $preset"
  if ! { cmake --preset "$preset" -DTESSAL_SKIP= >"$log_dir/configure-$preset.log" 2>&1 &&
         cmake --build --preset "$preset" 2>&1 | tee "$log_dir/build-$preset.log" | grep -E 'error|FAILED' ;
         [ "${PIPESTATUS[0]}" -eq 0 ]; }; then
    echo "build $preset FAILED (see $log_dir)"; tail -n 30 "$log_dir/configure-$preset.log"
    failed=$((failed + 1))
  fi
done

trap 'tools/wine/wine-stop' EXIT

for preset in linux win64; do
  heading "tests $preset"
  # A Windows case that fails runs once more, and is named below if it then passes.
  repeat=()
  [ "$preset" = win64 ] && repeat=(--repeat until-pass:2)
  ctest --preset "$preset" -j2 "${repeat[@]}" 2>&1 | tee "$log_dir/ctest-$preset.log"
  count_ctest "$log_dir/ctest-$preset.log"
  report_second_runs "$log_dir/ctest-$preset.log"
done

# Extra suites (fuzzing, benchmarks' smoke runs, ...): each prints its own
# "N passed, N failed" as its last such line.
for step in scripts/test.d/*.sh; do
  [ -e "$step" ] || continue
  heading "$(basename "$step")"
  bash "$step" 2>&1 | tee "$log_dir/$(basename "$step").log"
  line=$(grep -E '^([A-Za-z]+: )?[0-9]+ passed, [0-9]+ failed' "$log_dir/$(basename "$step").log" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); continue; fi
  p=$(sed -E 's/^([A-Za-z]+: )?([0-9]+) passed.*/\2/' <<<"$line")
  f=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
  passed=$((passed + p)); failed=$((failed + f))
done

heading "done in $(( $(date +%s) - start )) s"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
