#!/usr/bin/env bash
# Builds the Windows configurations and runs their tests: win32 (the home
# platform; its programs are only checked on this host, which cannot run
# 32-bit code) and win64 (the same sources, whose test programs and driver
# rig run under wine64). Installs missing packages first.
#   SVCP_WERROR=ON      treat compiler warnings as errors (CI does)
#   SVCP_WIN_PRESETS    the configurations to run (default: "win32 win64")
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  googletest wine64

jobs=$(nproc)
for preset in ${SVCP_WIN_PRESETS:-win32 win64}; do
  echo "=== ${preset} ==="
  cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
echo "Windows configurations passed."
