#!/usr/bin/env bash
# Builds both packages: the manifest writer in the linux tree, then the
# deliverables and the package of the win32 and win64 trees (configured when
# they are not yet). Extra arguments go to the configure steps of both Windows
# trees, e.g. -DTESSAL_PACKAGE_R_EDITION=ON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
cmake --build build/linux --target setup_manifest_writer
for preset in win32 win64; do
  if [ ! -f "build/$preset/build.ninja" ] || [ $# -gt 0 ]; then cmake --preset "$preset" "$@" >/dev/null; fi
  cmake --build "build/$preset" --target msi_package
done
ls -l out/package/CorvantaBrontel.msi out/package/CorvantaBrontel-x64.msi
