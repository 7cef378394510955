#!/usr/bin/env bash
# Starts Xvfb on a free display or stops the one started before, by process id.
#   eval "$(scripts/xvfb.sh start)"   # exports DISPLAY and KORVANE_XVFB_PID
#   scripts/xvfb.sh stop
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PID_FILE="$ROOT/build/.xvfb.pid"

case "${1:-}" in
  start)
    mkdir -p "$ROOT/build"
    for display in $(seq 90 140); do
      [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
      Xvfb ":$display" -screen 0 1280x1024x24 +extension GLX -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
      if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
        echo "$pid" >"$PID_FILE"
        echo "export DISPLAY=:$display KORVANE_XVFB_PID=$pid"
        exit 0
      fi
    done
    echo "xvfb: no free display" >&2
    exit 1
    ;;
  stop)
    if [ -f "$PID_FILE" ]; then
      kill "$(cat "$PID_FILE")" 2>/dev/null || true
      rm -f "$PID_FILE"
    fi
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
