#!/usr/bin/env bash
# wixl leaves the File table's Version column empty and hashes every file as if
# none had a version resource. Windows Installer would then keep an installed
# program over a newer one (a file with a version wins over one without), so an
# upgrade would leave the old programs in place. This gives each program and
# library of the build list its version and drops its hash row.
#   stamp-file-versions.sh PACKAGE.msi BUILD_LIST
set -euo pipefail
msi=$1
list=$2
queries=()
# Tabs as field separators one by one (read would merge an empty version away).
while IFS='|' read -r name version; do
  key=$(printf '%s' "$name" | tr -c 'A-Za-z0-9_' '_')
  queries+=(-q "UPDATE \`File\` SET \`Version\` = '$version' WHERE \`File\` = '$key'"
            -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$key'")
done < <(awk -F'\t' '$1 == "file" && $3 != "" { print $2 "|" $3 }' "$list")
[ ${#queries[@]} -eq 0 ] || msibuild "$msi" "${queries[@]}"
