#!/usr/bin/env bash
# Setup libraries: the export tables of Lorix.dll and Tavin.dll in both
# architectures, the benchmark of loading and saving a manifest of 5,000
# files under Wine beside MSXML's bare parse of the same document, and their
# byte-level readers under libFuzzer.
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

# Neither library changes its host's library search order, and their own code
# loads libraries only with LoadLibraryEx (by full path or from the system
# folder). The plain imports that remain come from the toolchain's start-up and
# C++ runtime (frame registration, advapi32.dll for random numbers).
imports() { x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | awk '/DLL Name:/,/^$/' | awk 'NF==3 && $1 ~ /^[0-9a-f]+$/ {print $3}'; }
no_search_order_change() {
  local found
  found=$(imports "$1" | grep -xE 'SetDllDirectory[AW]|SetDefaultDllDirectories|AddDllDirectory')
  [ -z "$found" ] || { echo "$1 imports: $found"; return 1; }
}
for arch in win32 win64; do
  for dll in Lorix Tavin; do
    check "$dll.dll $arch keeps the host's library search order" no_search_order_change out/$arch/$dll.dll
  done
done
no_plain_loads() { ! grep -nE '\bLoadLibrary[AW]?\(' installinfo/win/*.cc manifest/win/*.cc common/win/*.cc; }
check "setup libraries load libraries only through LoadLibraryEx" no_plain_loads

bench=${pfx}win64/manifest/lorix_bench.exe
run_bench() {
  [ -f "$bench" ] || return 1
  TESSAL_WINE_TIMEOUT=180 tools/wine/wine-run "$bench" "Z:$root/out/win64/Lorix.dll" \
    "Z:$root/manifest/indent.xsl" 5 </dev/null 2>&1 | tr -d '\r'
}
check "manifest benchmark (5,000 files, saved and loaded back identically)" run_bench
# The byte-level readers of both libraries under libFuzzer (ASan, UBSan): each
# reader on its own for an equal share of SETUP_FUZZ_SECONDS (default 30 in all).
fuzz_dir=$root/build/setup-fuzz
seeds=$root/manifest/fuzz/seeds
fuzz_targets=$(ls "$seeds")
fuzz_total=${SETUP_FUZZ_SECONDS:-30}
fuzz_each=$(( fuzz_total / $(echo $fuzz_targets | wc -w) ))
[ "$fuzz_each" -ge 1 ] || fuzz_each=1
mkdir -p "$fuzz_dir"
build_fuzz() {
  clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" \
    "$root"/manifest/core/{install_model,version_block}.cc "$root/installinfo/core/install_rules.cc" \
    "$root"/common/core/{setup_paths,xml_text,ansi_text}.cc "$root/manifest/fuzz/setup_fuzz.cc" \
    -o "$fuzz_dir/setup_fuzz"
}
check "build setup_fuzz with clang" build_fuzz
if [ -x "$fuzz_dir/setup_fuzz" ]; then
  check "fuzz seeds replay" "$fuzz_dir/setup_fuzz" -runs=0 $(for t in $fuzz_targets; do echo "$seeds/$t"; done)
  run_fuzz() {
    local target=$1 log=$fuzz_dir/$1.log
    mkdir -p "$fuzz_dir/corpus/$target"
    SETUP_FUZZ_TARGET=$target timeout $((fuzz_each + 60)) "$fuzz_dir/setup_fuzz" -max_total_time="$fuzz_each" \
      -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$fuzz_dir/$target-" \
      "$fuzz_dir/corpus/$target" "$seeds/$target" >"$log" 2>&1
    local rc=$?
    grep -E '^stat::number_of_executed_units|ERROR|SUMMARY' "$log" | sed "s/^/$target: /"
    return $rc
  }
  for target in $fuzz_targets; do
    check "fuzz $target ${fuzz_each}s without a crash" run_fuzz "$target"
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
