# shellcheck shell=bash disable=SC2034  # WINE and WINESERVER are the sourcing script's
# Sourced by the Wine helpers (wine_run.sh, wine_keepalive.sh) after they set ROOT:
# exports the project's prefix (build/wineprefix unless WINEPREFIX says otherwise) and
# sets WINE and WINESERVER, the 64-bit loader and the server.
#
# Debian's wine64 and libwine packages keep both in Wine's library folder, off PATH. They
# are taken from PATH when there, else from the wine64 package's file list. The answer is
# remembered beside the prefix: CTest starts Wine once per test, and asking dpkg costs
# tens of milliseconds each time.

export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
WINE_REMEMBERED="$(dirname "$WINEPREFIX")/.$(basename "$WINEPREFIX").wine"

wine_lookup() {
  command -v wine64 2>/dev/null && return
  # Not grep -m1: with pipefail dpkg's broken pipe would count as a failure.
  dpkg -L wine64 2>/dev/null | grep '/wine64$' | head -n1
}

WINE=""
if [ -f "$WINE_REMEMBERED" ]; then
  read -r WINE <"$WINE_REMEMBERED" || true
fi
if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
  WINE="$(wine_lookup || true)"
  if [ -z "$WINE" ] || [ ! -x "$WINE" ]; then
    echo "$(basename "$0"): wine64 not found on PATH nor in the wine64 package: run scripts/setup.sh" >&2
    exit 1
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  echo "$WINE" >"$WINE_REMEMBERED"
fi
# The server comes with the loader and sits beside it.
WINESERVER="$(command -v wineserver 2>/dev/null || echo "$(dirname "$WINE")/wineserver")"
