#!/usr/bin/env bash
# Starts or stops a management-server simulator for tests and the demo.
#
#   mgmt-sim.sh start DIR   starts it in the background on a free loopback port:
#                           DIR/port (the port), DIR/policy (the reply served; edit
#                           at will), DIR/calls.log (one UTF-8 line per call),
#                           DIR/pid, DIR/sim.out; returns once it listens
#                           (one still running for DIR is replaced)
#   mgmt-sim.sh stop DIR    ends the simulator started for DIR
#
# MGMT_SIM names the program (default: out/linux/standins/corvanta_mgmt_sim of
# this clone); MGMT_SIM_MAX_SECONDS bounds its life (default 3600).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
sim=${MGMT_SIM:-$root/out/linux/standins/corvanta_mgmt_sim}

usage() { echo "usage: mgmt-sim.sh start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
dir=$2

# The recorded simulator still runs (and the number was not reused by another program).
alive() {
  [ -f "$dir/pid" ] || return 1
  local pid
  pid=$(cat "$dir/pid")
  kill -0 "$pid" 2>/dev/null && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "--port-file $dir/port"
}

stop_sim() {
  if alive; then
    local pid
    pid=$(cat "$dir/pid")
    kill "$pid"
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
  fi
  rm -f "$dir/pid"
}

case $1 in
  start)
    if [ ! -x "$sim" ]; then
      echo "mgmt-sim.sh: $sim is missing; build the linux tree first" \
           "(cmake --preset linux && cmake --build --preset linux --target corvanta_mgmt_sim)" >&2
      exit 1
    fi
    mkdir -p "$dir" || exit 1
    # One left over from an interrupted run is replaced.
    stop_sim
    rm -f "$dir/port"
    [ -e "$dir/policy" ] || : > "$dir/policy"
    # Detached from the caller's pipes so that ctest does not wait for it.
    setsid "$sim" --port 0 --port-file "$dir/port" --policy "$dir/policy" --log "$dir/calls.log" \
      --max-seconds "${MGMT_SIM_MAX_SECONDS:-3600}" </dev/null >"$dir/sim.out" 2>&1 &
    echo $! > "$dir/pid"
    for _ in $(seq 1 100); do
      if [ -s "$dir/port" ]; then
        echo "mgmt-sim.sh: listening on 127.0.0.1:$(cat "$dir/port") (pid $(cat "$dir/pid"))"
        exit 0
      fi
      # Only its end counts here: until setsid has run, its number still
      # shows this script's command line.
      kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "mgmt-sim.sh: the simulator did not start listening within 10 s:" >&2
    cat "$dir/sim.out" >&2
    stop_sim
    exit 1
    ;;
  stop)
    stop_sim
    exit 0
    ;;
  *) usage ;;
esac
