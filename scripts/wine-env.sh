# Sourced by the wine-*.sh scripts: the environment for running our Windows
# programs under 64-bit Wine, unattended and without a display.
#   WINEPREFIX   the prefix to use (required; the scripts put it in the build dir)
#
# Debian's /usr/bin/wine prefers the 32-bit loader when wine32 is installed,
# and hosts without 32-bit execution cannot run it, so the 64-bit loader and
# server are called by path.
: "${WINEPREFIX:?WINEPREFIX must name the prefix directory}"
export WINEPREFIX
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts when the prefix is created.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY

SVCP_WINE=/usr/lib/wine/wine64
SVCP_WINESERVER=/usr/lib/wine/wineserver64

# Creates the prefix unless it exists. Serialised with a lock file so that
# tests started in parallel create it once.
svcp_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      # The prefix is complete only when the server has written it out. Its
      # one complaint, about the missing 32-bit rundll32, is expected here.
      "$SVCP_WINE" wineboot -i >/dev/null 2>&1 || true
      "$SVCP_WINESERVER" -w
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
    "$SVCP_WINE" reg add "$SVCP_DRIVER_DEVICE_KEY\\$instance" /v ClassGUID /t REG_SZ \
      /d "$SVCP_DRIVER_INTERFACE_CLASS" /f </dev/null >/dev/null
  done
  # sc create fails once the service exists (a kept prefix): that is fine.
  "$SVCP_WINE" sc create "$SVCP_DRIVER_SERVICE" type= kernel start= demand \
    binPath= "C:\\windows\\system32\\drivers\\$SVCP_DRIVER_SERVICE.sys" </dev/null >/dev/null || true
  # Started explicitly: an automatic start would race the first test.
  "$SVCP_WINE" sc start "$SVCP_DRIVER_SERVICE" </dev/null >/dev/null 2>&1
}
