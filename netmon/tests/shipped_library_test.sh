#!/usr/bin/env bash
# The shipped Linux library: loadable by an ordinary program (no sanitizer
# runtime needed) and showing exactly the functions of the exported header.
set -euo pipefail
lib=${1:?usage: shipped_library_test.sh LIBRARY}
here=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

! ldd "$lib" | grep -Eq 'lib(asan|ubsan|tsan)' || fail "needs a sanitizer runtime: $(ldd "$lib" | grep san)"
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sort)
declared=$(grep -oE 'QVW_[A-Za-z]+\(' "$here/include/qvWirelet.h" | tr -d '(' | sort -u)
[ "$exported" = "$declared" ] || fail "exports differ from the header: $(diff <(echo "$declared") <(echo "$exported") || true)"
# An ordinary program opens it and finds an export.
python3 - "$lib" <<'PY' || fail "an ordinary program cannot load it"
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
assert lib.QVW_MonitorClose is not None
PY
echo "shipped library: $(echo "$exported" | wc -l) exports, no sanitizer runtime"
