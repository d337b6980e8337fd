#!/usr/bin/env bash
# The start/stop helper with the built simulator: start, serve one call over
# TCP, log it, stop. Arguments: mgmt-sim.sh, simulator program, scratch folder.
set -u
script=$1 sim=$2 dir=$3
fail() { echo "FAIL: $*"; bash "$script" stop "$dir"; exit 1; }
rm -rf "$dir"
MGMT_SIM=$sim MGMT_SIM_MAX_SECONDS=60 bash "$script" start "$dir" || fail "start"
port=$(cat "$dir/port")
printf '<observationtarget>x' > "$dir/policy"
# One InfoSet call: "CVS1", 3 fields, "CVComm_InfoSet", "0", "0".
reply=$(exec 3<>"/dev/tcp/127.0.0.1/$port" &&
  printf 'CVS1\0\0\0\3\0\0\0\016CVComm_InfoSet\0\0\0\0010\0\0\0\0010' >&3 &&
  timeout 5 cat <&3 | tail -c 20)
[ "$reply" = "<observationtarget>x" ] || fail "reply was '$reply'"
grep -qx "$(printf 'CVComm_InfoSet\t0\t0')" "$dir/calls.log" || fail "call not logged"
old=$(cat "$dir/pid")
MGMT_SIM=$sim bash "$script" start "$dir" >/dev/null || fail "second start"
kill -0 "$old" 2>/dev/null && fail "the simulator left over for the folder was not replaced"
pid=$(cat "$dir/pid")
[ "$pid" != "$old" ] || fail "same pid"
bash "$script" stop "$dir" || fail "stop"
kill -0 "$pid" 2>/dev/null && fail "still running after stop"
MGMT_SIM=/nonexistent bash "$script" start "$dir" 2>"$dir/err" && fail "started without a program"
grep -q "build the linux tree first" "$dir/err" || fail "no clear message for a missing program"
# Started without the script, ended through its stop file; the port file goes with it.
"$sim" --port 0 --port-file "$dir/port2" --stop-file "$dir/stop" --max-seconds 30 >/dev/null 2>&1 &
spid=$!
for _ in $(seq 1 100); do [ -s "$dir/port2" ] && break; sleep 0.1; done
[ -s "$dir/port2" ] || fail "no port file"
touch "$dir/stop"
for _ in $(seq 1 100); do kill -0 "$spid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$spid" 2>/dev/null && { kill "$spid"; fail "the stop file did not end it"; }
[ -e "$dir/port2" ] && fail "port file left behind"
echo "mgmt-sim.sh start/stop: ok"
