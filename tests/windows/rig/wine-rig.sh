#!/usr/bin/env bash
# The Wine driver rig: one Wine session with the stand-in service processor
# driver loaded, in which the given Windows programs run one after another.
# Prints the time of each step; exits non-zero when a step or a program fails.
# Unattended: no display, no Mono or Gecko prompts.
#
#   tests/windows/rig/wine-rig.sh --prefix <dir> [--fresh] --driver <svcpsim.sys> \
#                       -- <program.exe> [<program.exe>...]
#     --prefix  the Wine prefix (created when missing)
#     --fresh   delete the prefix first
#     --driver  the driver to install and start in the session
set -euo pipefail

prefix=""
fresh=0
driver=""
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --fresh) fresh=1; shift ;;
    --driver) driver="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: $0 --prefix DIR [--fresh] --driver SYS -- PROGRAM..." >&2; exit 2 ;;
  esac
done
[ -n "$prefix" ] && [ -n "$driver" ] || { echo "$0: --prefix and --driver are required" >&2; exit 2; }

mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
source "$(dirname "$0")/wine-env.sh"

now() { date +%s.%N; }
step_start=$(now)
step() {  # step <name>: prints the time since the previous step
  local end
  end=$(now)
  printf 'rig: %-16s %6.2f s\n' "$1" "$(echo "$end - $step_start" | bc)"
  step_start=$end
}

if [ "$fresh" -eq 1 ]; then
  "${SVCP_WINESERVER[@]}" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
fi
trap '"${SVCP_WINESERVER[@]}" -k 2>/dev/null || true' EXIT

svcp_wine_prefix
step prefix
"${SVCP_WINESERVER[@]}" -p </dev/null >/dev/null 2>&1
"${SVCP_WINE[@]}" wineboot </dev/null >/dev/null 2>&1
step session
svcp_wine_load_driver "$driver"
step driver

status=0
for program in "$@"; do
  if ! "${SVCP_WINE[@]}" "$program" </dev/null; then
    echo "rig: $(basename "$program") failed" >&2
    status=1
  fi
  step "$(basename "$program" .exe)"
done

"${SVCP_WINESERVER[@]}" -k 2>/dev/null || true
"${SVCP_WINESERVER[@]}" -w 2>/dev/null || true
trap - EXIT
step stop
exit $status
