#!/usr/bin/env bash
# Sets up the machine, builds the 64-bit Windows tree and plays the agent's main
# job under Wine with the stand-ins. Screenshots land in out/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# The management-server simulator runs natively; everything else is the Windows build.
cmake --preset linux >/dev/null
cmake --build --preset linux --target corvanta_mgmt_sim
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target agent_demo
trap 'tools/wine/wine-stop' EXIT
tools/wine/run-with-shots out/demo build/win64/demo/agent_demo.exe
