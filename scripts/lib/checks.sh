# Counting checks for the extra test suites (sourced): `check NAME COMMAND...`
# runs the command and counts it; the suite ends with "$passed passed, $failed failed".
passed=0
failed=0
check() {
  if "${@:2}"; then echo "ok: $1"; passed=$((passed + 1)); else echo "FAILED: $1"; failed=$((failed + 1)); fi
}
