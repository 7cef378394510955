#!/usr/bin/env bash
# Starts Xvfb on a free display, or stops one started here, by its process id.
#   eval "$(scripts/xvfb.sh start)"   # exports DISPLAY and KORVANE_XVFB_PID
#   scripts/xvfb.sh stop              # stops $KORVANE_XVFB_PID
set -euo pipefail

case "${1:-}" in
  start)
    for display in $(seq 90 190); do
      [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
      Xvfb ":$display" -screen 0 1280x1024x24 +extension GLX -nolisten tcp >/dev/null 2>&1 &
      pid=$!
      # Ready once the socket exists; gone early when another server took the display.
      for _ in $(seq 200); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
      if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$display" ]; then
        echo "export DISPLAY=:$display KORVANE_XVFB_PID=$pid"
        exit 0
      fi
      kill "$pid" 2>/dev/null || true
    done
    echo "xvfb: no free display" >&2
    exit 1
    ;;
  stop)
    pid="${2:-${KORVANE_XVFB_PID:-}}"
    [ -n "$pid" ] || { echo "xvfb: no KORVANE_XVFB_PID to stop" >&2; exit 1; }
    if [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xvfb ]; then
      kill "$pid"
      # Wait for it to go, so the display is free again when this returns.
      for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
      done
    fi
    ;;
  *)
    echo "usage: $0 start | stop [pid]" >&2
    exit 2
    ;;
esac
