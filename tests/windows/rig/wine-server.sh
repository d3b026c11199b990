#!/usr/bin/env bash
# Starts or ends one Wine session for a test run, so that the programs run in
# it share one server (and any drivers it has loaded).
#   WINEPREFIX=<dir> tests/windows/rig/wine-server.sh start [driver.sys]
#                                      creates the prefix if needed, keeps a
#                                      server running and starts the driver
#   WINEPREFIX=<dir> tests/windows/rig/wine-server.sh stop    ends the server and every
#                                                   program of the prefix
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
case "${1:-}" in
  start)
    svcp_wine_prefix
    # The server and the session's helper processes (services, device
    # manager) outlive this script: detached from its output, so that a
    # caller reading it (CTest) does not wait for them.
    "${SVCP_WINESERVER[@]}" -p </dev/null >/dev/null 2>&1
    "${SVCP_WINE[@]}" wineboot </dev/null >/dev/null 2>&1
    if [ -n "${2:-}" ]; then
      svcp_wine_load_driver "$2"
    fi
    ;;
  stop)
    "${SVCP_WINESERVER[@]}" -k 2>/dev/null || true
    "${SVCP_WINESERVER[@]}" -w 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
