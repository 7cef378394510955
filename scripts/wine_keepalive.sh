#!/usr/bin/env bash
# Keeps one idle Wine process of the project's prefix alive, so every other Wine start
# during a test run costs about 0.1 s instead of over 1 s. Makes the prefix first when
# it is new. stop ends that process by its id, then the prefix's wineserver.
#   scripts/wine_keepalive.sh start | stop
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source-path=SCRIPTDIR source=wine_env.sh
. "$ROOT/scripts/wine_env.sh"
PID_FILE="$(dirname "$WINEPREFIX")/.$(basename "$WINEPREFIX").keepalive.pid"

case "${1:-}" in
  start)
    if [ -f "$PID_FILE" ] && kill -0 "$(cat "$PID_FILE")" 2>/dev/null; then exit 0; fi
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Make the prefix now: its first start takes seconds, more than a test's timeout
    # for listing the tests of a program.
    "$ROOT/scripts/wine_run.sh" cmd /c exit >/dev/null 2>&1
    # "cmd /c pause" waits on its input forever; keep a pipe open that never writes.
    (sleep infinity | "$ROOT/scripts/wine_run.sh" cmd /c pause) >/dev/null 2>&1 &
    echo $! >"$PID_FILE"
    ;;
  stop)
    if [ -f "$PID_FILE" ]; then
      pid="$(cat "$PID_FILE")"
      pkill -P "$pid" 2>/dev/null || true
      kill "$pid" 2>/dev/null || true
      rm -f "$PID_FILE"
    fi
    "$WINESERVER" -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
