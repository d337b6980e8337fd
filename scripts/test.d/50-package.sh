#!/usr/bin/env bash
# The installer packages: builds them when needed (package/build.sh) and checks
# their tables against the deliverables in out/: every file by name, size and
# version, nothing from the stand-ins, the keep-alive service installed and
# controlled by the package, the installer-state value, the install folders and
# the version from cmake/version.cmake.
# Ends with "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. "$root/scripts/lib/checks.sh"

check "packages build" bash package/build.sh >/dev/null 2>&1
version=$(sed -n 's/^set(TESSAL_VERSION \([0-9.]*\))/\1/p' cmake/version.cmake)
downgrade_message="더 새로운 버전의 Corvanta Brontel이 이미 설치되어 있습니다."

# Rows of a table without its three header lines.
rows() { msiinfo export "$1" "$2" 2>/dev/null | tail -n +4 | tr -d '\r'; }
# The files a PC needs from a tree's out/ folder, and what the package adds.
shipped="qvTessalKestra.exe qvWirelet.dll Gatrell.exe qvTolvenz.exe qvTolvenw.exe Lorix.dll Tavin.dll indent.xsl"
added="BrontelSetup.xml setup.ini"
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "build/$1/CMakeCache.txt"; }

check_package() {
  local preset=$1 msi=$2 arch=$3 program_files=$4 component_bits=$5
  local out=out/$preset names expected
  [ -f "$msi" ] || { check "$msi exists" false; return; }
  expected="$shipped $added"
  [ "$(cache_value "$preset" TESSAL_PACKAGE_R_EDITION)" = ON ] && expected="$expected qvTessalKestraR.exe"
  [ -n "$(cache_value "$preset" TESSAL_SHIPPED_RESPONDER_FILES)" ] && expected="$expected jsxCVsc.cer locrt locrk"
  [ "$(cache_value "$preset" TESSAL_PACKAGE_SEAL)" = ON ] && expected="$expected qvTessalSeal.exe"
  names=$(rows "$msi" File | cut -f3 | sort)
  check "$preset: File table holds exactly the suite's files" \
    [ "$names" = "$(echo $expected | tr ' ' '\n' | sort)" ]
  local standin_names
  standin_names=$(ls "$out/standins" 2>/dev/null)
  check "$preset: no stand-in in the package" \
    [ -z "$(comm -12 <(echo "$names") <(echo "$standin_names" | sort))" ]
  check "$preset: the capture driver installer is not in the package" eval "! grep -qx qvPontak.exe <<<'$names'"

  # Each shipped file as built (programs without their debug information): its
  # size, and the version it was built with.
  local file size ver row bad="" strip tmp
  strip=$(cache_value "$preset" CMAKE_STRIP)
  tmp=$(mktemp)
  for file in $shipped; do
    row=$(rows "$msi" File | awk -F'\t' -v n="$file" '$3 == n')
    size=$(cut -f4 <<<"$row"); ver=$(cut -f5 <<<"$row")
    case $file in
      *.exe|*.dll) "$strip" --strip-debug -o "$tmp" "$out/$file" ;;
      *) cp "$out/$file" "$tmp" ;;
    esac
    [ "$size" = "$(stat -c %s "$tmp")" ] || bad="$bad $file(size)"
    case $file in
      Gatrell.exe) [ "$ver" = 1.0.0.2 ] || bad="$bad $file($ver)" ;;
      *.exe|*.dll) [ "$ver" = "$version" ] || bad="$bad $file($ver)" ;;
      *) [ -z "$ver" ] || bad="$bad $file($ver)" ;;
    esac
  done
  rm -f "$tmp"
  check "$preset: sizes and versions match out/$preset${bad:+:$bad}" [ -z "$bad" ]
  check "$preset: only files without a version resource are hashed" \
    [ "$(rows "$msi" MsiFileHash | cut -f1 | sort)" = \
      "$(grep -vE '\.(exe|dll)$' <<<"$names" | tr -c 'A-Za-z0-9_\n' '_' | sort)" ]

  # One component per file, keyed by it, in the install folder, of the tree's bitness.
  check "$preset: every file is the key of its own component in INSTALLFOLDER" \
    [ -z "$(join -t $'\t' -1 1 -2 1 <(rows "$msi" File | cut -f1,2 | sort) <(rows "$msi" Component | sort) |
            awk -F'\t' '$1 != $2 || $4 != "INSTALLFOLDER" || $5 != '"$component_bits"' || $7 != $1')" ]
  check "$preset: folders $program_files\\Corvanta\\Brontel" \
    [ "$(rows "$msi" Directory | sort | tr '\t\n' '|;')" = \
      "CorvantaFolder|$program_files|Corvanta;INSTALLFOLDER|CorvantaFolder|Brontel;$program_files|TARGETDIR|.;TARGETDIR||SourceDir;" ]

  check "$preset: service Corvanta BrontelMon, own process, automatic, normal errors, local system, Gatrell.exe" \
    [ "$(rows "$msi" ServiceInstall | cut -f2-12)" = \
      "$(printf 'Corvanta BrontelMon\tCorvanta Brontel Monitor\t16\t2\t1\t\t\t\t\t\tGatrell_exe')" ]
  # 163: started on install, stopped on install and removal, deleted on removal; waited for.
  check "$preset: service started by the package, stopped and deleted on removal" \
    [ "$(rows "$msi" ServiceControl | cut -f2-6)" = "$(printf 'Corvanta BrontelMon\t163\t\t1\tGatrell_exe')" ]
  check "$preset: installer state HKLM\\SOFTWARE\\OSKANA\\PKINSTALLER InstallState = 0" \
    [ "$(rows "$msi" Registry | cut -f2-6)" = "$(printf '2\tSOFTWARE\\OSKANA\\PKINSTALLER\tInstallState\t0\tInstallState')" ]

  local props
  props=$(rows "$msi" Property)
  check "$preset: version $version" \
    grep -qxF "$(printf 'ProductVersion\t%s' "$version")" <<<"$props"
  check "$preset: per machine" grep -qxF "$(printf 'ALLUSERS\t1')" <<<"$props"
  check "$preset: product language 1042" grep -qxF "$(printf 'ProductLanguage\t1042')" <<<"$props"
  local upgrade_code
  upgrade_code=$(sed -n "s/^set(TESSAL_UPGRADE_CODE_$arch \\([0-9A-F-]*\\))/\\1/p" cmake/version.cmake)
  check "$preset: upgrade code of cmake/version.cmake" grep -qxF "$(printf 'UpgradeCode\t{%s}' "$upgrade_code")" <<<"$props"
  check "$preset: an older release is upgraded, a newer one refuses the downgrade" \
    [ "$(rows "$msi" Upgrade | cut -f1,2,3,5 | sort | tr '\t\n' '|;')" = \
      "{$upgrade_code}||$version|1;{$upgrade_code}|$version||2;" ]
  check "$preset: an older release is removed after InstallValidate, before the new one is installed" \
    [ "$(rows "$msi" InstallExecuteSequence | awk -F'\t' '{ s[$1] = $3 } END {
          print (s["RemoveExistingProducts"] > s["InstallValidate"] && s["RemoveExistingProducts"] < s["InstallInitialize"]) }')" = 1 ]
  check "$preset: code page 949, and the refusal of a downgrade says so in Korean" eval '
    [ "$(msiinfo export "$msi" _ForceCodepage | tr -d "\r" | grep -a _ForceCodepage)" = "$(printf "949\t_ForceCodepage")" ] &&
    [ "$(rows "$msi" LaunchCondition)" = "$(printf "NOT WIX_DOWNGRADE_DETECTED\t%s" "$downgrade_message")" ]'
  check "$preset: summary names the platform" \
    eval "msiinfo suminfo '$msi' | grep -q 'Template: $([ "$arch" = X64 ] && echo x64 || echo Intel);1042'"
  if grep -qx qvTessalSeal.exe <<<"$names"; then
    # 3090: an installed program run deferred, not impersonated; 3154: its result ignored.
    check "$preset: per-PC certificates made on install and repair, removed on removal" \
      [ "$(rows "$msi" CustomAction | cut -f1-4 | sort | tr '\t\n' '|;')" = \
        'SealMake|3090|qvTessalSeal_exe|/make;SealRemove|3154|qvTessalSeal_exe|/remove;' ]
    local seq
    seq=$(rows "$msi" InstallExecuteSequence | awk -F'\t' '{ s[$1] = $3 } END {
      print (s["SealMake"] > s["InstallFiles"] && s["SealMake"] < s["InstallServices"] &&
             s["SealRemove"] > s["DeleteServices"] && s["SealRemove"] < s["RemoveFiles"]) }')
    check "$preset: made after InstallFiles, removed after the service and before RemoveFiles" [ "$seq" = 1 ]
    check "$preset: made on every install but a removal, removed on a removal that is no upgrade's" \
      [ "$(rows "$msi" InstallExecuteSequence | awk -F'\t' '$1 ~ /^Seal/ { print $1 "|" $2 }' | sort | tr '\n' ';')" = \
        'SealMake|NOT REMOVE~="ALL";SealRemove|REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE;' ]
  else
    check "$preset: no custom action without the certificate program" [ -z "$(rows "$msi" CustomAction)" ]
  fi
}

check_package win32 out/package/CorvantaBrontel.msi X86 ProgramFilesFolder 0
check_package win64 out/package/CorvantaBrontel-x64.msi X64 ProgramFiles64Folder 256

echo "$passed passed, $failed failed"
