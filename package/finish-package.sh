#!/usr/bin/env bash
# What wixl leaves undone in a package it built.
#
# It leaves the File table's Version column empty and hashes every file as if
# none had a version resource. Windows Installer would then keep an installed
# program over a newer one (a file with a version wins over one without), so an
# upgrade would leave the old programs in place. This gives each program and
# library of the build list its version and drops its hash row.
#
# It schedules the removal of an older release after InstallFinalize, where
# an old release's removal runs over the new one's files and registration (Wine
# then deletes the upgrade code's registration of both). WiX's own default, right
# after InstallValidate, removes the older release first and installs afresh.
#
# It writes the database without a code page and drops every text that is not
# ASCII: the database gets code page 949 and the refusal of a downgrade its
# Korean message.
#
# It also writes the summary's platform and language as English (1033) whatever
# the source says; the summary is written again with Korean (1042).
#   finish-package.sh PACKAGE.msi BUILD_LIST PLATFORM SUBJECT DOWNGRADE_MESSAGE
set -euo pipefail
msi=$1
list=$2
platform=$3
subject=$4
downgrade_message=$5
queries=()
# Tabs as field separators one by one (read would merge an empty version away).
while IFS='|' read -r name version; do
  key=$(printf '%s' "$name" | tr -c 'A-Za-z0-9_' '_')
  queries+=(-q "UPDATE \`File\` SET \`Version\` = '$version' WHERE \`File\` = '$key'"
            -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$key'")
done < <(awk -F'\t' '$1 == "file" && $3 != "" { print $2 "|" $3 }' "$list")
codepage=$(mktemp -d)
trap 'rm -rf "$codepage"' EXIT
printf '\r\n\r\n949\t_ForceCodepage\r\n' >"$codepage/_ForceCodepage.idt"
msibuild "$msi" -i "$codepage/_ForceCodepage.idt"
queries+=(-q "UPDATE \`LaunchCondition\` SET \`Description\` = '$downgrade_message'
              WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'")
queries+=(-q "UPDATE \`InstallExecuteSequence\` SET \`Sequence\` = 1401 WHERE \`Action\` = 'RemoveExistingProducts'")
msibuild "$msi" "${queries[@]}"
msibuild "$msi" -s "$subject" Corvanta "$platform;1042"
