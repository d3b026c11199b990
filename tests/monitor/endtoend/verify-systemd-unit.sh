#!/bin/sh
# systemd-analyze verify of the exporter's unit, its ExecStart pointed at the
# monitor just built (verify requires the program to exist). Exit 77 (skip)
# where systemd-analyze is missing. Usage: verify-systemd-unit.sh UNIT MONITOR
set -eu
unit=$1
monitor=$2
command -v systemd-analyze >/dev/null 2>&1 || { echo "systemd-analyze not installed"; exit 77; }
directory=$(mktemp -d)
trap 'rm -rf "$directory"' EXIT
sed "s|/usr/bin/svcproc-monitor|$monitor|" "$unit" >"$directory/$(basename "$unit")"
grep -q "^ExecStart=$monitor --listen " "$directory/$(basename "$unit")"
# Any message (an unknown directive or value is only a warning) is a failure.
report=$(systemd-analyze verify "$directory/$(basename "$unit")" 2>&1) || { echo "$report"; exit 1; }
[ -z "$report" ] || { echo "$report"; exit 1; }
