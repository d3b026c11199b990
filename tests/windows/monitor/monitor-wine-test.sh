#!/usr/bin/env bash
# svcproc-monitor.exe under Wine against the simulated machine: the machine
# (svcp_monitor_machine.exe, answering through the relay driver) runs as a
# process of its own while the monitor runs, reached and scraped from the
# host as an operator would.
#   WINEPREFIX=... SVCP_WINE_ARCH=... monitor-wine-test.sh SCENARIO BINDIR SOURCEDIR
# Scenarios:
#   once     --once in table, JSON and Prometheus (UTF-8 descriptions, values)
#   watch    an alert reaches a --watch run, which ends at --duration
#   listen   --listen scraped with curl; the service processor stops answering
#            (svcproc_up 0, JSON "answering": false) and answers again
#   service  --service install, sc start, scrape, sc stop, --service uninstall
#   events   the exporter's events (start-up, an alert and its clearing, the
#            link lost and restored) reported with their IDs and texts
set -euo pipefail
scenario=$1
bin=$2
source_dir=$3
# shellcheck source=../rig/checks.sh
source "$source_dir/tests/windows/rig/checks.sh"
monitor() { run "$bin/svcproc-monitor.exe" "$@"; }
# Background programs are started with "$wine_run" itself, not through a
# function, so that $! is the Windows process (wine-run.sh execs Wine).

work=$(mktemp -d)
machine_pid=""
pids=()
cleanup() {
  local status=$?
  if [ -n "$machine_pid" ]; then
    stop_machine "$machine_pid"
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ "$status" -ne 0 ]; then
    show_outputs "$work" 40
  fi
  rm -rf "$work"
}
trap cleanup EXIT


answers() { count "$work/machine.out" '^\(ok\|error\)'; }
# Counted at each try: wait_for's arguments are expanded only once.
answered_since() { [ "$(answers)" -gt "$1" ]; }
# tell WORD: sends it to the machine and waits for the acknowledgement.
tell() {
  local before
  before=$(answers)
  echo "$1" >&3
  wait_for 30 "the machine acknowledges '$1'" answered_since "$before"
  has "$work/machine.out" "^error" && fail "the machine refused '$1'"
  return 0
}
scrape_shows() { curl -fsS "$1" -o "$work/scrape.prom" && [ "$(metric svcproc_up "$work/scrape.prom")" = "$2" ]; }
promtool_check() {
  if command -v promtool >/dev/null; then
    promtool check metrics <"$1" || fail "promtool rejects $1"
  fi
}
json_check() {
  python3 - "$@" <<'PYTHON'
import json, sys
document = json.load(open(sys.argv[1], encoding="utf-8"))
assert document["startup"]["result"] == 0, document["startup"]
descriptions = {s["description"]: s for s in document["sensors"]}
assert "Température CPU" in descriptions, sorted(descriptions)
assert descriptions["Chassis Fan"]["reading"]["value"] == 1980, descriptions["Chassis Fan"]
assert document["serviceProcessor"]["answering"] is True, document["serviceProcessor"]
assert [led["description"] for led in document["leds"]] == ["Power", "Fault"], document["leds"]
PYTHON
}
# event_reported FILE ID TYPE TEXT: Wine's trace of a ReportEventW call with
# that event ID and type (its stub's fixme line) followed, on the same
# thread, by the eventlog channel's line of its string, which holds TEXT.
event_reported() {
  text "$1" | awk -v id="$(printf '0x%08x' "$2")" -v type="$(printf '0x%04x' "$3")" -v want="$4" '
    { thread = substr($0, 1, index($0, ":") - 1) }
    /:advapi:ReportEventW \(/ { split($0, a, ","); pending[thread] = a[2] == type && a[4] == id; next }
    /:eventlog:ReportEventW / { if (pending[thread] && index($0, want)) found = 1; pending[thread] = 0 }
    END { exit !found }'
}
random_port() { echo $((20000 + RANDOM % 30000)); }

case "$scenario" in
  once)
    start_machine
    monitor --once >"$work/table.out" 2>"$work/table.err"
    has "$work/table.out" "Température CPU" || fail "the table lacks the UTF-8 description"
    has "$work/table.out" "Chassis Fan.*1980" || fail "the table lacks the chassis fan at 1980 RPM"
    grep -q $'\r' "$work/table.out" && fail "the table's lines end in CR LF"
    monitor --once --format json >"$work/once.json" 2>"$work/json.err"
    json_check "$work/once.json" || fail "the JSON document"
    monitor --once --format prometheus >"$work/once.prom" 2>"$work/prom.err"
    [ "$(metric svcproc_up "$work/once.prom")" = 1 ] || fail "svcproc_up is not 1"
    promtool_check "$work/once.prom"
    # --output replaces the file whole, as a textfile collector reads it.
    echo stale >"$work/svcproc.prom"
    monitor --once --format prometheus --output "$(run winepath -w "$work/svcproc.prom" 2>/dev/null | tr -d '\r')" \
      2>"$work/output.err" || fail "--output to an existing file"
    [ "$(metric svcproc_up "$work/svcproc.prom")" = 1 ] || fail "--output did not replace the file"
    ;;
  watch)
    start_machine
    "$wine_run" "$bin/svcproc-monitor.exe" --watch --interval 0.5 --duration 25 >"$work/watch.out" 2>"$work/watch.err" &
    watch_pid=$!
    pids+=("$watch_pid")
    wait_for 120 "the watch shows its first snapshot" has "$work/watch.out" "Chassis Fan"
    tell alert
    wait_for 20 "the alert reaches the watch" has "$work/watch.out" "ASSERTED.*Chassis Fan"
    tell clear
    wait_for 20 "the cleared alert reaches the watch" has "$work/watch.out" "CLEARED.*Chassis Fan"
    status=0
    wait "$watch_pid" || status=$?
    [ "$status" -eq 0 ] || fail "the watch ended with $status"
    ;;
  listen)
    start_machine
    "$wine_run" "$bin/svcproc-monitor.exe" --listen 127.0.0.1:0 --duration 240 >"$work/listen.out" 2>"$work/listen.err" &
    pids+=($!)
    "$wine_run" "$bin/svcproc-monitor.exe" --watch --format ndjson --interval 0.5 --duration 240 >"$work/watch.out" \
      2>"$work/watch.err" &
    pids+=($!)
    "$wine_run" "$bin/svcproc-monitor.exe" --watch --interval 0.5 --duration 240 >"$work/table.out" \
      2>"$work/table.err" &
    pids+=($!)
    wait_for 120 "the exporter serves" has "$work/listen.out" "serving http://127.0.0.1:[0-9]*/metrics"
    url=$(text "$work/listen.out" | sed -n 's|.*serving \(http://[^ ]*/metrics\).*|\1|p' | head -1)
    base=${url%/metrics}
    curl -fsS -D "$work/headers.out" "$url" -o "$work/first.prom" || fail "scrape of $url"
    [ "$(metric svcproc_up "$work/first.prom")" = 1 ] || fail "svcproc_up is not 1"
    grep -qi '^content-type: text/plain; version=0.0.4; charset=utf-8' "$work/headers.out" ||
      fail "the content type"
    promtool_check "$work/first.prom"
    curl -fsS "$base/" | grep -q 'href="/metrics"' || fail "the index page"
    [ "$(curl -s -o /dev/null -w '%{http_code}' "$base/nothing")" = 404 ] || fail "404"
    [ "$(curl -s -o /dev/null -w '%{http_code}' -X POST "$base/metrics")" = 405 ] || fail "405"
    wait_for 120 "the JSON watch runs" has "$work/watch.out" '"answering":true'

    tell detach
    wait_for 10 "svcproc_up turns 0" scrape_shows "$url" 0
    grep -Eq '^svcproc_exchange_failures_total\{kind="[a-z_]+"\} [1-9]' "$work/scrape.prom" ||
      fail "no exchange failures counted"
    wait_for 10 "the JSON shows the service processor not answering" \
      has "$work/watch.out" '"answering":false'
    wait_for 10 "the table shows the banner" has "$work/table.out" \
      "service processor not answering since [0-9:]*; readings are the last received"
    wait_for 10 "the table marks the chassis fan's reading stale" has "$work/table.out" "Chassis Fan.*RPM\\*"
    tell attach
    wait_for 10 "svcproc_up turns 1 again" scrape_shows "$url" 1
    table_lines=$(wc -l <"$work/table.out")
    wait_for 10 "the table shows a fresh chassis fan again" \
      sh -c "tail -n +$((table_lines + 1)) '$work/table.out' | grep -q 'Chassis Fan.*RPM  '"
    lines=$(wc -l <"$work/watch.out")
    wait_for 10 "the JSON shows it answering again" \
      sh -c "tail -n +$((lines + 1)) '$work/watch.out' | grep -q '\"answering\":true'"

    # The machine's process killed, without a word to the driver: its
    # exchanges fail rather than wait, and a new machine takes over.
    kill -9 "$machine_pid"
    wait "$machine_pid" 2>/dev/null || true
    machine_pid=""
    exec 3>&-
    wait_for 15 "svcproc_up turns 0 when the machine's process is killed" scrape_shows "$url" 0
    start_machine
    wait_for 15 "a new machine's process answers" scrape_shows "$url" 1
    ;;
  service)
    start_machine
    monitor --service uninstall >/dev/null 2>&1 || true
    port=$(random_port)
    url="http://127.0.0.1:$port/metrics"
    monitor --service install --listen "127.0.0.1:$port" >"$work/install.out" 2>&1 ||
      fail "--service install"
    monitor --service install --listen "127.0.0.1:$port" >"$work/again.out" 2>&1 &&
      fail "a second install succeeded"
    run sc query svcproc-exporter >"$work/query.out" 2>&1 || fail "the service is not there"
    event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\svcproc-exporter'
    run reg query "$event_source" >"$work/source.out" 2>&1 || fail "the event source is not registered"
    has "$work/source.out" "EventMessageFile.*REG_EXPAND_SZ.*svcproc-monitor.exe" ||
      fail "the event source's message file is not the monitor"
    has "$work/source.out" "TypesSupported.*0x7" || fail "the event source's types"
    run sc start svcproc-exporter >"$work/start.out" 2>&1 || fail "sc start"
    wait_for 120 "the service serves $url" scrape_shows "$url" 1
    promtool_check "$work/scrape.prom"
    run sc stop svcproc-exporter >"$work/stop.out" 2>&1 || fail "sc stop"
    wait_for 30 "the service stops" sh -c "'$source_dir/tests/windows/rig/wine-run.sh' sc query svcproc-exporter | tr -d '\r' | grep -q 'STOPPED'"
    curl -fsS "$url" >/dev/null 2>&1 && fail "the stopped service still serves"
    monitor --service uninstall >"$work/uninstall.out" 2>&1 || fail "--service uninstall"
    run sc query svcproc-exporter >"$work/gone.out" 2>&1 && fail "the service is still registered"
    run reg query "$event_source" >/dev/null 2>&1 && fail "the event source is still registered"
    # A service needs something to serve or write.
    monitor --service install --once >"$work/bad.out" 2>&1 && fail "install without --listen"
    run sc query svcproc-exporter >/dev/null 2>&1 && fail "a refused install registered the service"
    ;;
  events)
    start_machine
    WINEDEBUG=+eventlog "$wine_run" "$bin/svcproc-monitor.exe" --listen 127.0.0.1:0 --system-log always \
      --interval 0.5 --duration 240 >"$work/events.out" 2>"$work/events.err" &
    pids+=($!)
    wait_for 120 "the exporter serves" has "$work/events.out" "serving http://127.0.0.1:[0-9]*/metrics"
    # Types: 1 error, 2 warning, 4 information.
    wait_for 30 "start-up is reported (1202)" event_reported "$work/events.err" 1202 4 "Started: "
    tell alert
    wait_for 20 "the alert is reported (1001)" event_reported "$work/events.err" 1001 1 \
      "Sensor alert asserted: Chassis Fan (fan 0x00020001), reading 300 RPM"
    tell clear
    wait_for 20 "its clearing is reported (1002)" event_reported "$work/events.err" 1002 4 \
      "Sensor alert cleared: Chassis Fan (fan 0x00020001), reading 1980 RPM"
    tell detach
    wait_for 20 "the lost link is reported (1101)" event_reported "$work/events.err" 1101 1 \
      "Service processor link lost: no answer to "
    tell attach
    wait_for 20 "the restored link is reported (1102)" event_reported "$work/events.err" 1102 4 \
      "Service processor link restored: it answers again"
    [ "$(count "$work/events.err" ':advapi:ReportEventW (')" -eq 5 ] || fail "events besides these five"
    ;;
  *)
    fail "unknown scenario $scenario"
    ;;
esac
echo "monitor $scenario: passed"
