#!/usr/bin/env bash
# Builds the Windows configurations and runs their suites under Wine:
#   win32  the home platform: the 32-bit DLLs, test programs and driver in a
#          32-bit prefix, under the system's 32-bit Wine; where the package
#          registry cannot provide it, under the Wine of a 32-bit Debian root
#          made once per machine (tests/windows/rig/i386-root.sh). A host whose kernel
#          cannot run 32-bit programs runs this suite in a virtual machine
#          (tests/windows/rig/i386-vm.sh) on its files. tests/windows/rig/wine-win32.sh chooses.
#   win64  the same sources for x86-64, in a 64-bit prefix under wine64.
# Installs missing packages first. A suite that cannot run fails the script.
#   SVCP_WERROR=ON      treat compiler warnings as errors (CI does)
#   SVCP_WIN_PRESETS    the configurations to run (default: "win32 win64")
#   SVCP_WIN32_VM=1     run the win32 suite in the virtual machine even when
#                       the host could run it
#   SVCP_WIN32_ROOT=1   run the win32 suite in the 32-bit root even when the
#                       system's 32-bit Wine is there or can be installed
set -euo pipefail
cd "$(dirname "$0")/../../.."
source tests/windows/rig/wine-win32.sh

presets=${SVCP_WIN_PRESETS:-win32 win64}
scripts/install-deps.sh g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  googletest wine64 wixl
win32_runner=none
if [[ " $presets " == *" win32 "* ]]; then
  win32_runner=$(svcp_win32_runner) || win32_runner=none
fi

jobs=$(nproc)
not_run=""
for preset in $presets; do
  echo "=== ${preset} ==="
  cmake --preset "$preset" -DSVCP_WARNINGS_AS_ERRORS="${SVCP_WERROR:-OFF}" \
    -DSVCP_WINE_RUN=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  # The packages, built here where wixl is (the 32-bit suite may run in a root).
  cmake --build --preset "$preset" --target msi msi_test_packages
  if [ "$preset" != win32 ]; then
    ctest --preset "$preset"
    continue
  fi
  case "$win32_runner" in
    host)
      ctest --preset "$preset"
      ;;
    root)
      echo "The suite runs under the Wine of the 32-bit root $(tests/windows/rig/i386-root.sh path)."
      tests/windows/rig/i386-root.sh run --bind "$PWD" -- ctest --preset "$preset"
      ;;
    vm)
      echo "The suite runs in a virtual machine that can run 32-bit programs."
      scripts/install-deps.sh qemu-system-x86 linux-image-amd64 busybox-static cpio kmod xz-utils
      # The prefix lives in the machine's memory: faster than the shared files.
      tests/windows/rig/i386-vm.sh --rw "build/$preset" --tmpfs "build/$preset/wineprefix" -- \
        ctest --preset "$preset"
      ;;
    *)
      echo "ERROR: the win32 suite cannot run: no 32-bit Wine (see above)." >&2
      not_run="$not_run $preset"
      ;;
  esac
done
if [ -n "$not_run" ]; then
  echo "FAILED: the Windows suites NOT RUN:$not_run (see the errors above)." >&2
  exit 1
fi
echo "Windows configurations passed."
