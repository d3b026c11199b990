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
