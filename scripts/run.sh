#!/usr/bin/env bash
# Sets up the machine, builds the x64 package and installs it silently into a
# fresh Wine prefix (build/wine-demo); with the stand-ins of the outside
# programs beside the installed suite, its service starts the agent and the
# agent's main job is played (screenshots in out/demo/); at the end the package
# is removed and the prefix is searched for anything of it that is left.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
began=$(date +%s)
bash scripts/setup.sh
# The management-server simulator and the manifest writer run natively; everything else is the Windows build.
cmake --preset linux >/dev/null
cmake --build --preset linux --target corvanta_mgmt_sim setup_manifest_writer
cmake --preset win64 >/dev/null
cmake --build build/win64 --target msi_package agent_demo standin_qvTarnwick

export TESSAL_WINE_DIR=$root/build/wine-demo
. tools/wine/wine-env.sh
tessal_wine_fresh

msi=out/package/CorvantaBrontel-x64.msi
win_folder='C:\Program Files\Corvanta\Brontel'
folder="$WINEPREFIX/drive_c/Program Files/Corvanta/Brontel"
msiexec() { timeout --kill-after=5 180 wine msiexec "$1" "$(winepath -w "$msi" 2>/dev/null)" /qn </dev/null >/dev/null 2>&1; }
in_registry() { wine reg query "$1" </dev/null >/dev/null 2>&1; }

echo "== The installer package $msi, installed silently into a fresh Wine prefix (msiexec /i /qn)"
msiexec /i
echo "   $win_folder holds: $(ls "$folder" | tr '\n' ' ')"
root_sha1=$(openssl x509 -inform DER -in "$folder/jsxCVsc.cer" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
root_key="HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$root_sha1"
in_registry "$root_key" && echo "   the root certificate made on this PC at install is in the machine's ROOT store ($root_sha1)"

echo "== The main job on the installed suite"
TESSAL_WINE_TIMEOUT=420 tools/wine/run-with-shots out/demo build/win64/demo/agent_demo.exe "$win_folder"

echo "== Removal"
# The package's files, and the responder's certificate files that its own
# program made at install and takes out again at removal.
shipped=$(msiinfo export "$msi" File | tail -n +4 | cut -f3 | tr -d '\r'; printf '%s\n' jsxCVsc.cer locrt locrk)
extras=$(ls "$folder" | grep -vxF "$shipped" || true)
echo "   first what the agent and the demo wrote beside the suite, which the package leaves alone: $(tr '\n' ' ' <<<"$extras")"
while IFS= read -r name; do [ -n "$name" ] && rm -f -- "$folder/$name"; done <<<"$extras"
for work in "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/TessalX" "$WINEPREFIX/drive_c/temp/CVWork"; do
  if [ -e "$work" ]; then rm -rf "$work" && echo "   and the agent's work folder $(winepath -w "$work" 2>/dev/null)"; fi
done
echo "   msiexec /x /qn"
msiexec /x
left=0
if [ -e "$WINEPREFIX/drive_c/Program Files/Corvanta" ]; then
  echo "   LEFT: $(find "$WINEPREFIX/drive_c/Program Files/Corvanta")"; left=1
else
  echo "   no folder C:\\Program Files\\Corvanta"
fi
if in_registry 'HKLM\System\CurrentControlSet\Services\Corvanta BrontelMon'; then
  echo "   LEFT: the service Corvanta BrontelMon"; left=1
else
  echo "   no service Corvanta BrontelMon"
fi
if in_registry 'HKLM\SOFTWARE\OSKANA\PKINSTALLER'; then
  echo "   LEFT: the installer-state key HKLM\\SOFTWARE\\OSKANA\\PKINSTALLER"; left=1
else
  echo "   no installer-state key HKLM\\SOFTWARE\\OSKANA\\PKINSTALLER"
fi
if in_registry "$root_key"; then
  echo "   LEFT: the PC's root certificate in ROOT"; left=1
else
  echo "   no root certificate of the suite in ROOT"
fi
echo "== The whole run took $(($(date +%s) - began)) s"
exit "$left"
