#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's own prefix (build/wineprefix):
# quiet, no Mono/Gecko prompts, and no 2 s wait per window hide under an X server
# without a window manager. Used by CTest as the cross-compiling emulator, by the
# end-to-end tests and by hand: scripts/wine_run.sh build/windows/.../program.exe args
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine_env.sh
. "$ROOT/scripts/wine_env.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ ! -f "$WINEPREFIX/.korvane-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # First use: make the prefix (Wine does it on its first start, about 8 s) and switch
  # off managed windows. Serialised, since CTest may start several programs at once.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.korvane-ready" ]; then
      "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
      if "$WINE" reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null | grep -q 'REG_SZ[[:space:]]*N'; then
        touch "$WINEPREFIX/.korvane-ready"
      else
        echo "wine_run: could not set Managed=N in the prefix $WINEPREFIX" >&2
      fi
    fi
  ) 9>"$WINEPREFIX/../.$(basename "$WINEPREFIX").lock"
fi

# NOTE: now and then Wine ends with status 1 before the program's first instruction,
# printing nothing: well under the 30 ms a program's start takes here (seen about once a
# CI run, in CTest's and the end-to-end runs alike). Such a start is tried once more; a run
# that got further, however it ended, is the caller's to judge.
started=$(date +%s%N)
status=0
"$WINE" "$@" || status=$?
if [ "$status" = 1 ] && [ $(( $(date +%s%N) - started )) -lt 25000000 ]; then
  echo "wine_run: Wine ended at once with status 1; starting $1 once more" >&2
  status=0
  "$WINE" "$@" || status=$?
fi
exit "$status"
