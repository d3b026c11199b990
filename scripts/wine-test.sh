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

scripts/install-deps.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  googletest wine64 wine32:i386

# The monitor's cross build: the header-only cpp-httplib from Debian's source
# package (build/third_party/cpp-httplib).
scripts/fetch-httplib.sh >/dev/null

runs_i386() { [ "${SVCP_WIN32_VM:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }

jobs=$(nproc)
for preset in ${SVCP_WIN_PRESETS:-win32 win64}; do
  echo "=== ${preset} ==="
  cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" \
    -DSVCP_WINE_RUN=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = win32 ] && ! runs_i386; then
    echo "The suite runs in a virtual machine that can run 32-bit programs."
    scripts/install-deps.sh qemu-system-x86 linux-image-amd64 busybox-static cpio kmod xz-utils
    # The prefix lives in the machine's memory: faster than the shared files.
    scripts/i386-vm.sh --rw "build/$preset" --tmpfs "build/$preset/wineprefix" -- \
      ctest --preset "$preset"
  else
    ctest --preset "$preset"
  fi
done
echo "Windows configurations passed."
