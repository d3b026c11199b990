#!/usr/bin/env bash
# The monitoring pack at work on this machine: three simulated tills with
# their exporters, a real Prometheus with the pack's rules (their durations
# scaled down 30 times) and a real Alertmanager. One till's Chassis Fan fails
# and recovers, another's service processor stops and starts again; each
# notification is printed as it arrives, with where to open Prometheus's and
# Alertmanager's pages. Everything stays up until interrupted (Ctrl-C), then
# every process is stopped and its temporary folder removed.
#   scripts/fleet-demo.sh [BUILD_DIR]     (default: build/default)
# Exit status: 0 after an interrupt when all went as expected, 1 when it did
# not (the logs' folder is printed), 2 when the programs are not built.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
for program in svcproc-monitor svcproc-sim; do
  if [ ! -x "$build/bin/$program" ]; then
    echo "fleet-demo: no $build/bin/$program (cmake --build --preset default --target $program)" >&2
    exit 2
  fi
done
for program in prometheus /usr/bin/prometheus-alertmanager; do
  command -v "$program" >/dev/null || { echo "fleet-demo: no $program (scripts/install-deps.sh)" >&2; exit 2; }
done
status=0
PYTHONDONTWRITEBYTECODE=1 python3 tests/monitoring/fleet_end_to_end_test.py "$build/bin" --watch || status=$?
# An interrupt of the running demo is its normal end.
[ "$status" -eq 130 ] && status=0
exit "$status"
