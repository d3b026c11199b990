# The shell checks the Wine scenario scripts share; sourced, not run, after
# the script has set source_dir to the source tree.

# run PROGRAM ARGS...: a Windows program under the rig's Wine.
wine_run=$source_dir/tests/windows/rig/wine-run.sh
run() { "$wine_run" "$@"; }

fail() { echo "FAIL: $*" >&2; exit 1; }
# wait_for SECONDS DESCRIPTION COMMAND...: until COMMAND succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local end=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || fail "$what (not within ${seconds} s)"
    sleep 0.2
  done
}
# Windows programs end their lines with CR LF.
text() { tr -d '\r' <"$1"; }
has() { text "$1" | grep -q -- "$2"; }
count() { text "$1" | grep -c -- "$2" || true; }
# metric NAME FILE: the value of an unlabelled series in Prometheus text.
metric() { grep -E "^$1 " "$2" | awk '{print $2}'; }

# start_machine: the simulated machine (svcp_monitor_machine.exe in $bin)
# under Wine, fed commands through descriptor 3; its pid in machine_pid,
# its output in $work/machine.out.
start_machine() {
  rm -f "$work/commands"
  mkfifo "$work/commands"
  "$wine_run" "$bin/svcp_monitor_machine.exe" 'C:\windows\temp\svcp-monitor-smbios.bin' \
    <"$work/commands" >"$work/machine.out" 2>"$work/machine.err" &
  machine_pid=$!
  exec 3>"$work/commands"
  wait_for 120 "the simulated machine is ready" has "$work/machine.out" '^ready$'
}
# stop_machine PID: asks the Wine machine fed through descriptor 3 to quit,
# then ends it if it has not within 5 s.
stop_machine() {
  echo quit >&3 2>/dev/null || true
  exec 3>&- 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill "$1" 2>/dev/null || true
}
# show_outputs DIR LINES: the last LINES of every program output kept in DIR,
# for a failed run's log.
show_outputs() {
  local file
  for file in "$1"/*.out "$1"/*.err; do
    [ -s "$file" ] && { echo "--- $(basename "$file")"; tr -d '\r' <"$file" | tail -"$2" | cut -c1-300; }
  done
  return 0
}
