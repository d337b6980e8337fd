#!/usr/bin/env bash
# Lays out the files the package carries in one folder: programs and libraries
# without their debug information (the built ones in out/ keep it for crash
# analysis; the version resource and the code are untouched), other files as
# they are.
#   make-payload.sh STRIP SOURCES_LIST FOLDER
# SOURCES_LIST: one "NAME<tab>SOURCE" line per file.
set -euo pipefail
strip=$1
list=$2
folder=$3
rm -rf "$folder"
mkdir -p "$folder"
while IFS=$'\t' read -r name source; do
  [ -n "$name" ] || continue
  case $name in
    *.exe|*.dll) "$strip" --strip-debug -o "$folder/$name" "$source" ;;
    *) cp "$source" "$folder/$name" ;;
  esac
done <"$list"
