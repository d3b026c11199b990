#!/usr/bin/env bash
# Runs one Windows program under 64-bit Wine and returns its exit status;
# CMake's emulator for the win64 build.
#   WINEPREFIX=<dir> tests/windows/rig/wine-run.sh program.exe [args...]
# Creates the prefix on first use. Start a persistent server (wineserver -p)
# beforehand to save its start-up on each run; `wineserver -k` ends it.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
svcp_wine_prefix
exec "${SVCP_WINE[@]}" "$@"
