#!/usr/bin/env bash
# Builds the Windows configurations and runs their suites under Wine:
#   win32  the home platform: the 32-bit DLLs, test programs and driver in a
#          32-bit prefix. A host whose kernel cannot run 32-bit programs runs
#          this suite in a virtual machine (scripts/i386-vm.sh) on its files.
#   win64  the same sources for x86-64, in a 64-bit prefix under wine64.
# Installs missing packages first.
#   SVCP_WERROR=ON      treat compiler warnings as errors (CI does)
#   SVCP_WIN_PRESETS    the configurations to run (default: "win32 win64")
#   SVCP_WIN32_VM=1     run the win32 suite in the virtual machine even when
#                       the host could run it
set -euo pipefail
cd "$(dirname "$0")/.."

presets=${SVCP_WIN_PRESETS:-win32 win64}
scripts/install-deps.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  googletest wine64
# The 32-bit Wine, for the win32 suite only. When the package registry cannot
# provide it (an i386 index caught in the middle of a mirror's sync leaves
# its packages at versions that clash with the installed amd64 ones), the
# win32 configuration is still built, and its suite is reported as not run.
win32_wine=1
if [[ " $presets " == *" win32 "* ]] && ! scripts/install-deps.sh wine32:i386; then
  win32_wine=0
  echo "WARNING: wine32:i386 cannot be installed from the package registry now." >&2
fi

# The monitor's cross build: the header-only cpp-httplib from Debian's source
# package (build/third_party/cpp-httplib).
scripts/fetch-httplib.sh >/dev/null

runs_i386() { [ "${SVCP_WIN32_VM:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }

jobs=$(nproc)
not_run=""
for preset in $presets; do
  echo "=== ${preset} ==="
  cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" \
    -DSVCP_WINE_RUN=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = win32 ] && [ "$win32_wine" = 0 ]; then
    echo "WARNING: the win32 suite was NOT RUN: no 32-bit Wine (built only)." >&2
    not_run="$not_run $preset"
  elif [ "$preset" = win32 ] && ! runs_i386; then
    echo "The suite runs in a virtual machine that can run 32-bit programs."
    scripts/install-deps.sh qemu-system-x86 linux-image-amd64 busybox-static cpio kmod xz-utils
    # The prefix lives in the machine's memory: faster than the shared files.
    scripts/i386-vm.sh --rw "build/$preset" --tmpfs "build/$preset/wineprefix" -- \
      ctest --preset "$preset"
  else
    ctest --preset "$preset"
  fi
done
if [ -n "$not_run" ]; then
  echo "Windows configurations passed, except the suites NOT RUN:$not_run (see the warnings above)."
else
  echo "Windows configurations passed."
fi
