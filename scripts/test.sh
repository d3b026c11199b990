#!/usr/bin/env bash
# The whole test suite:
#   1. default (RelWithDebInfo), asan (AddressSanitizer + UndefinedBehaviorSanitizer)
#      and tsan (ThreadSanitizer): build and run every CTest test;
#   2. fuzz: the libFuzzer targets, built with clang, each run for a bounded time;
#   3. win32 and win64: the Windows DLLs cross-built with mingw-w64, their export
#      tables checked, and each build's test programs and driver rig run under
#      Wine (tests/windows/rig/wine-test.sh).
# Installs missing packages first.
#   SVCP_WERROR=ON    treat compiler warnings as errors (CI does)
#   SVCP_PRESETS      the host configurations (default: "default asan tsan")
#   SVCP_STAGES       the stages to run (default: "host fuzz windows")
set -euo pipefail
cd "$(dirname "$0")/.."

stages=" ${SVCP_STAGES:-host fuzz windows} "
scripts/install-deps.sh

jobs=$(nproc)
if [[ $stages == *" host "* ]]; then
  # The .NET binding's build and tests (Mono; a NuGet client installs its
  # package), in the host configurations only.
  scripts/install-deps.sh mono-devel nuget
  for preset in ${SVCP_PRESETS:-default asan tsan}; do
    echo "=== ${preset} ==="
    cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
  done
fi
if [[ $stages == *" fuzz "* ]]; then
  echo "=== fuzz ==="
  scripts/fuzz.sh
fi
if [[ $stages == *" windows "* ]]; then
  tests/windows/rig/wine-test.sh
  if [[ $stages == *" host "* ]]; then
    # The NuGet package carries both Windows builds' DLLs: its layout test,
    # skipped in the host stage before they existed, must run now.
    echo "=== NuGet package ==="
    out=$(ctest --preset default -R '^dotnet\.nuget_package_layout$' --output-on-failure) || {
      echo "$out"
      exit 1
    }
    echo "$out"
    if grep -q "Skipped" <<<"$out"; then
      echo "the NuGet package's layout test found no Windows DLLs" >&2
      exit 1
    fi
  fi
fi
echo "All configurations passed."
