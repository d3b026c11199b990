#!/usr/bin/env bash
# Builds and runs the whole test suite in the three configurations: default
# (RelWithDebInfo), asan (AddressSanitizer + UndefinedBehaviorSanitizer) and
# tsan (ThreadSanitizer). Installs missing packages first.
#   SVCP_WERROR=ON   treat compiler warnings as errors (CI does)
#   SVCP_PRESETS     the configurations to run (default: "default asan tsan")
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in ${SVCP_PRESETS:-default asan tsan}; do
  echo "=== ${preset} ==="
  cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "All configurations passed."
