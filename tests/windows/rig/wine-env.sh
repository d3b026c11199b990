# Sourced by the wine-*.sh scripts: the environment for running our Windows
# programs under Wine, unattended and without a display.
#   WINEPREFIX      the prefix to use (required; the scripts put it in the build dir)
#   SVCP_WINE_ARCH  win64 (default): a 64-bit prefix, programs run by wine64;
#                   win32: a 32-bit prefix, programs run by the 32-bit loader
#   SVCP_WINE_ROOT  win32 only: the 32-bit root whose Wine runs the programs
#                   (tests/windows/rig/i386-root.sh run sets it and mounts what they
#                   need: the current directory must be visible in it)
#
# Debian's /usr/bin/wine picks a loader by what is installed, not by the
# prefix, so the loader and server are called by path. SVCP_WINE and
# SVCP_WINESERVER are commands (arrays): in the root they start with chroot.
: "${WINEPREFIX:?WINEPREFIX must name the prefix directory}"
export WINEPREFIX
case "${SVCP_WINE_ARCH:-win64}" in
  win32)
    export WINEARCH=win32
    svcp_loader=/usr/lib/wine/wine
    svcp_server=/usr/lib/wine/wineserver32
    ;;
  win64)
    export WINEARCH=win64
    svcp_loader=/usr/lib/wine/wine64
    svcp_server=/usr/lib/wine/wineserver64
    ;;
  *)
    echo "wine: SVCP_WINE_ARCH must be win32 or win64" >&2
    exit 2
    ;;
esac
if [ "$WINEARCH" = win32 ] && [ -n "${SVCP_WINE_ROOT:-}" ]; then
  [ -d "$SVCP_WINE_ROOT$PWD" ] && [ -x "$SVCP_WINE_ROOT$svcp_loader" ] || {
    echo "wine: $PWD or Wine is not visible in the root $SVCP_WINE_ROOT (tests/windows/rig/i386-root.sh run)" >&2
    exit 2
  }
  # chroot would change to the root's /; env keeps the current directory.
  # Both exec: the process started is Wine itself, as without the root.
  svcp_in_root=(chroot "$SVCP_WINE_ROOT" /usr/bin/env --chdir="$PWD")
  SVCP_WINE=("${svcp_in_root[@]}" "$svcp_loader")
  SVCP_WINESERVER=("${svcp_in_root[@]}" "$svcp_server")
else
  [ -x "$svcp_loader" ] || {
    echo "wine: no $svcp_loader on this host; without wine32:i386 the win32 suite runs in the" \
      "32-bit root: tests/windows/rig/i386-root.sh run --bind \"\$PWD\" -- ctest --preset win32" >&2
    exit 2
  }
  SVCP_WINE=("$svcp_loader")
  SVCP_WINESERVER=("$svcp_server")
fi
# The loader Wine starts new processes with: a path inside the root there.
export WINELOADER=$svcp_loader
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

# Creates the prefix unless it exists. Serialised with a lock file so that
# tests started in parallel create it once.
svcp_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      # The prefix is complete only when the server has written it out. A
      # 64-bit prefix complains of the 32-bit rundll32 when the host cannot
      # run it: expected.
      "${SVCP_WINE[@]}" wineboot -i >/dev/null 2>&1 || true
      "${SVCP_WINESERVER[@]}" -w
      [ -f "$WINEPREFIX/system.reg" ] || { echo "wine: prefix creation failed" >&2; exit 1; }
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Installs and starts the stand-in service processor driver in the running
# session. The driver lives as long as the session's server.
#   svcp_wine_load_driver <path to svcpsim.sys>
# The Enum keys mark the driver's self-reported device nodes (interface
# instances 0000 and 0001) as real ones; without them Wine keeps a node as a
# phantom and stops registering its device interface from the second session
# on.
SVCP_DRIVER_SERVICE=svcpsim
SVCP_DRIVER_DEVICE_KEY='HKLM\System\CurrentControlSet\Enum\ROOT\SVCPSIM'
SVCP_DRIVER_INTERFACE_CLASS='{FF1A9A71-A14D-4A6B-A778-76A541A78F1A}'
svcp_wine_load_driver() {
  local sys="$1"
  local target="$WINEPREFIX/drive_c/windows/system32/drivers/$SVCP_DRIVER_SERVICE.sys"
  cp "$sys" "$target"
  local instance
  for instance in 0000 0001; do
    "${SVCP_WINE[@]}" reg add "$SVCP_DRIVER_DEVICE_KEY\\$instance" /v ClassGUID /t REG_SZ \
      /d "$SVCP_DRIVER_INTERFACE_CLASS" /f </dev/null >/dev/null
  done
  # sc create fails once the service exists (a kept prefix): that is fine.
  "${SVCP_WINE[@]}" sc create "$SVCP_DRIVER_SERVICE" type= kernel start= demand \
    binPath= "C:\\windows\\system32\\drivers\\$SVCP_DRIVER_SERVICE.sys" </dev/null >/dev/null || true
  # Started explicitly: an automatic start would race the first test.
  "${SVCP_WINE[@]}" sc start "$SVCP_DRIVER_SERVICE" </dev/null >/dev/null 2>&1
}
