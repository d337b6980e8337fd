#!/usr/bin/env bash
# The x64 package under Wine, in a fresh prefix of its own (build/wine-package):
# an install lays out every file with its version, registers and starts the
# service and writes the installer state, so that Tavin answers truthfully; the
# responder serves with a root made on the PC, limited to its names, trusted in
# "ROOT", whose key is nowhere on disk; a
# second install changes nothing; a newer release upgrades it and keeps the
# files the PC wrote beside the programs; removal leaves nothing of the package
# behind (no root in "ROOT" either) and nothing else is removed.
# Ends with "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
. "$root/scripts/lib/checks.sh"

bash package/build.sh >/dev/null 2>&1 && cmake --build build/win64 --target package_install_probe >/dev/null 2>&1
check "package and probe build" [ -f out/package/CorvantaBrontel-x64.msi ] 
msi=out/package/CorvantaBrontel-x64.msi
version=$(sed -n 's/^set(TESSAL_VERSION \([0-9.]*\))/\1/p' cmake/version.cmake)

export TESSAL_WINE_DIR=$root/build/wine-package
. tools/wine/wine-env.sh
tessal_wine_fresh

folder="$WINEPREFIX/drive_c/Program Files/Corvanta/Brontel"
win_folder='C:\Program Files\Corvanta\Brontel\'
msiexec() { timeout --kill-after=5 120 wine msiexec "$1" "$(winepath -w "$2" 2>/dev/null)" /qn </dev/null >/dev/null 2>&1; }
report="$WINEPREFIX/drive_c/probe.txt"
probe() {
  rm -f "$report"
  local status=0 log
  log=$(mktemp)
  timeout --kill-after=5 60 wine "$(winepath -w build/win64/package/package_install_probe.exe 2>/dev/null)" \
    'C:\probe.txt' "$@" </dev/null >"$log" 2>&1 || status=$?
  # A probe that fails leaves its words and status in the log, not an empty report alone.
  [ "$status" = 0 ] || { echo "  probe ended with $status:" >&2; tail -5 "$log" >&2; }
  rm -f "$log"
  [ -f "$report" ] && tr -d '\r' <"$report"
}
has() { grep -qxF "$1" <<<"$probe_out" || { echo "  not in the report: $1"; return 1; }; }
snapshot() { find "$WINEPREFIX/drive_c/Program Files/Corvanta" -printf '%P %T@ %s\n' 2>/dev/null | sort; }
names=$(msiinfo export "$msi" File | tail -n +4 | cut -f3)

probe_out=$(probe "$(winepath -w "$msi" 2>/dev/null)")
check "the installer reads the Korean refusal of a downgrade" \
  has "launch=NOT WIX_DOWNGRADE_DETECTED|더 새로운 버전의 Corvanta Brontel이 이미 설치되어 있습니다."

check "install succeeds" msiexec /i "$msi"
laid_out() {
  local n
  for n in $names; do
    cmp -s "build/win64/package/payload/files/$n" "$folder/$n" || { echo "  $n differs or is missing"; return 1; }
  done
}
check "every file is laid out as the package carries it" laid_out
probe_out=$(probe "$win_folder")
check "service running (4), own process, automatic, normal errors" \
  eval 'has service_state=4 && has service_type=16 && has service_start=2 && has service_error=1'
check "service display name and program" eval 'has "service_display=Corvanta Brontel Monitor" &&
  grep -qE "^service_binary=\"?C:\\\\Program Files\\\\Corvanta\\\\Brontel\\\\Gatrell.exe\"?$" <<<"$probe_out"'
check "installer state written" eval 'has state_key=present && has state_value=0 && has install_state=0'
# The per-PC certificate: the root made at install, limited to the responder's
# names, trusted in "ROOT", serving the service's responder; its key nowhere.
certs=$(mktemp -d)
openssl x509 -inform DER -in "$folder/jsxCVsc.cer" -out "$certs/root.pem" 2>/dev/null
thumbprint=$(openssl x509 -in "$certs/root.pem" -noout -fingerprint -sha1 2>/dev/null | sed 's/.*=//; s/://g')
in_root_store() { wine reg query "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint" </dev/null >/dev/null 2>&1; }
check "the root permits only the responder's names" eval '[ "$(openssl x509 -in "$certs/root.pem" -noout \
  -ext nameConstraints | tr -d " \n")" = "X509v3NameConstraints:criticalPermitted:DNS:localhostIP:127.0.0.1/255.255.255.255" ]'
responder_answers() {
  local i
  for i in $(seq 1 50); do
    curl -sS --max-time 5 --cacert "$certs/root.pem" 'https://localhost:12500/?callback=jQuery123&_=1' 2>/dev/null |
      grep -q '^jQuery123(' && return 0
    sleep 0.2
  done
  return 1
}
check "the service's responder answers on 12500 with a certificate of the PC's root" responder_answers
check "the PC's root is in the machine's ROOT store" in_root_store
# Every private key on the prefix's disk and in the temporary folder, against the root's public key.
root_key_found() {
  local root_pub file
  root_pub=$(openssl x509 -in "$certs/root.pem" -noout -pubkey)
  while IFS= read -r file; do
    [ "$(openssl pkey -in "$file" -pubout 2>/dev/null)" = "$root_pub" ] && { echo "  root key in $file"; return 0; }
  done < <(grep -rlas -- "PRIVATE KEY-----" "$WINEPREFIX/drive_c" /tmp 2>/dev/null)
  return 1
}
check "the root's private key is nowhere on disk" eval '! root_key_found'
check "Tavin: main version $version, language 1042" eval 'has main_version=$version && has language=1042'
versioned=$(grep -cE '\.(exe|dll)$' <<<"$names")
check "Tavin: the manifest lists the $((versioned + 1)) shipped files" has "file_count=$((versioned + 1))"
check "Tavin: every program's installed version is the listed one" \
  [ "$(grep -cE "^file[0-9]+=1 ([0-9.]+) \\1$" <<<"$probe_out")" = "$versioned" ]

before=$(snapshot)
check "a second install succeeds" msiexec /i "$msi"
check "a second install changes no file" [ "$(snapshot)" = "$before" ]
probe_out=$(probe)
check "the service still runs" has service_state=4

# A newer release: the same files under the next version and a new product code.
next=build/win64/package/next
mkdir -p "$next"
next_version=$(awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 + 1, $4 }' <<<"$version")
sed -e "s/Version=\"$version\"/Version=\"$next_version\"/" \
    -e "s/Product Id=\"[0-9A-F-]*\"/Product Id=\"$(python3 -c 'import uuid; print(str(uuid.uuid4()).upper())')\"/" \
    build/win64/package/Brontel.wxs >build/win64/package/Brontel-next.wxs
build_next() {
  wixl -a x64 -o "$next/CorvantaBrontel-x64.msi" build/win64/package/Brontel-next.wxs 2>/dev/null &&
    bash package/finish-package.sh "$next/CorvantaBrontel-x64.msi" build/win64/package/payload/manifest.list x64 next \
      "$(msiinfo export "$msi" LaunchCondition | tail -n 1 | cut -f2 | tr -d '\r')"
}
check "a newer release builds ($next_version)" build_next
# Files of the PC's own beside the programs: the agent's and the organisation's.
printf '<POLICY>kept</POLICY>' >"$folder/Kestra.ini"
printf 'company' >"$folder/BrelCompid.ini"
check "the upgrade succeeds" msiexec /i "$next/CorvantaBrontel-x64.msi"
probe_out=$(probe)
check "only the newer release is installed" \
  [ "$(grep '^product=' <<<"$probe_out")" = "product=Corvanta Brontel $next_version" ]
check "the upgrade keeps every file and the PC's own" eval 'laid_out &&
  [ "$(cat "$folder/Kestra.ini")" = "<POLICY>kept</POLICY>" ] && [ "$(cat "$folder/BrelCompid.ini")" = company ]'
check "the service runs after the upgrade" has service_state=4
before=$(snapshot)
check "the older release refuses to replace the newer one" eval '! msiexec /i "$msi"'
check "and changes nothing" [ "$(snapshot)" = "$before" ]

openssl x509 -inform DER -in "$folder/jsxCVsc.cer" -out "$certs/root.pem" 2>/dev/null
thumbprint=$(openssl x509 -in "$certs/root.pem" -noout -fingerprint -sha1 2>/dev/null | sed 's/.*=//; s/://g')
check "removal succeeds" msiexec /x "$next/CorvantaBrontel-x64.msi"
check "removal takes the PC's root out of ROOT" eval '! in_root_store'
check "removal leaves only the PC's own files" [ "$(ls -A "$folder" 2>&1 | tr '\n' ' ')" = "BrelCompid.ini Kestra.ini " ]
probe_out=$(probe)
check "removal deletes the service, the state key and the product" \
  eval 'has service=absent && has state_key=absent && ! grep -q ^product= <<<"$probe_out"'
rm -f "$folder/Kestra.ini" "$folder/BrelCompid.ini"
msiexec /i "$msi" && msiexec /x "$msi"
check "install and removal leave no folder" [ ! -e "$WINEPREFIX/drive_c/Program Files/Corvanta" ]
rm -rf "$certs"

echo "$passed passed, $failed failed"
