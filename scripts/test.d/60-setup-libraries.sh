#!/usr/bin/env bash
# Setup libraries: the export tables of Lorix.dll and Tavin.dll in both
# architectures, and the benchmark of loading and saving a manifest of 5,000
# files under Wine beside MSXML's bare parse of the same document.
# Ends with "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. "$root/scripts/lib/checks.sh"

# Build trees: the presets' own (SETUP_BUILD_PREFIX=build/setup- uses other ones).
pfx=${SETUP_BUILD_PREFIX:-build/}
for arch in win32 win64; do
  dir=$pfx$arch
  [ -f "$dir/build.ninja" ] || cmake --preset "$arch" >/dev/null 2>&1
  cmake --build "$dir" --target Lorix Tavin >/dev/null 2>&1
done
[ -f ${pfx}win64/build.ninja ] && cmake --build ${pfx}win64 --target lorix_bench >/dev/null 2>&1

exports() { x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/{print $NF}'; }
lorix_names="ChangeInstallExeVersion ClearInMemory GetDeleteExecute GetDeleteExecuteCount GetElementField
GetFileCount GetFileInfo GetPostExecute GetPostExecuteCount GetPreExecute GetPreExecuteCount GetPreKillProcess
GetPreKillProcessCount GetProtectedFilePath GetRegistryCount GetRegistryInfo GetReservedWord GetReservedWordCount
GetSetupLastErrorMsg GetSpcialDirectoryInCurrentSystem GetTargetFileVersion GetTempInstallPath GetUpKillProcess
GetUpKillProcessCount GetUpdateExecute GetUpdateExecuteCount LoadSetupFile SaveSetupFile SetDeleteExecute
SetElementField SetFileInfo SetPostExecute SetPreExecute SetPreKillProcess SetRegistryInfo SetReservedWord
SetUpKillProcess SetUpdateExecute SetupPathToRealPath"
tavin_names() {
  echo "$1 GetInstallState GetInstalledFileCount GetInstalledFileInfomation GetLanguage GetMainVersion LiveUpdate
MonitoringInstalledFiles PauseMonitoring SetRootPath"
}
same_set() { [ "$(echo $1 | tr ' ' '\n' | sort)" = "$(echo $2 | tr ' ' '\n' | sort)" ]; }
check "Lorix.dll win32 exports" same_set "$(exports out/win32/Lorix.dll)" "$lorix_names"
check "Lorix.dll win64 exports" same_set "$(exports out/win64/Lorix.dll)" "$lorix_names"
check "Tavin.dll win32 exports" same_set "$(exports out/win32/Tavin.dll)" "$(tavin_names '?GetInstallPath@@YAXPAD@Z')"
check "Tavin.dll win64 exports" same_set "$(exports out/win64/Tavin.dll)" "$(tavin_names '?GetInstallPath@@YAXPEAD@Z')"

bench=${pfx}win64/manifest/lorix_bench.exe
run_bench() {
  [ -f "$bench" ] || return 1
  TESSAL_WINE_TIMEOUT=180 tools/wine/wine-run "$bench" "Z:$root/out/win64/Lorix.dll" \
    "Z:$root/manifest/indent.xsl" 5 </dev/null 2>&1 | tr -d '\r'
}
check "manifest benchmark (5,000 files, saved and loaded back identically)" run_bench
# The byte-level readers of both libraries under libFuzzer (ASan, UBSan).
fuzz_dir=$root/build/setup-fuzz
fuzz_seconds=${SETUP_FUZZ_SECONDS:-30}
mkdir -p "$fuzz_dir/corpus"
build_fuzz() {
  clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/manifest" -I"$root/installinfo" -I"$root/common" \
    "$root"/manifest/core/{install_model,version_block}.cc "$root/installinfo/core/install_rules.cc" \
    "$root"/common/core/{setup_paths,xml_text,ansi_text}.cc "$root/manifest/fuzz/setup_fuzz.cc" \
    -o "$fuzz_dir/setup_fuzz"
}
check "build setup_fuzz with clang" build_fuzz
if [ -x "$fuzz_dir/setup_fuzz" ]; then
  check "fuzz seeds replay" "$fuzz_dir/setup_fuzz" -runs=0 "$root/manifest/fuzz/seeds"
  run_fuzz() {
    timeout $((fuzz_seconds + 60)) "$fuzz_dir/setup_fuzz" -max_total_time="$fuzz_seconds" -max_len=4096 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$fuzz_dir/" \
      "$fuzz_dir/corpus" "$root/manifest/fuzz/seeds" >"$fuzz_dir/fuzz.log" 2>&1
    local rc=$?
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added))|ERROR|SUMMARY' "$fuzz_dir/fuzz.log"
    return $rc
  }
  check "fuzz ${fuzz_seconds}s without a crash" run_fuzz
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
