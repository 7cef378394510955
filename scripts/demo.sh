#!/usr/bin/env bash
# The demo update, end to end on this machine: builds what is missing, publishes an update
# site on 127.0.0.1 (a new game client and the updater, with version.data written by
# korvane-publish), serves it with nginx at a limited rate so the progress window can be
# watched, runs korvane.exe in a fresh player folder holding an old client (the update
# path), then once more (the up-to-date path: the game starts at once, no window). The
# release is signed with a minisign key the demo makes (build/demo/keys), and korvane.exe
# is built with that key, so it accepts only the signed site.
#
#   scripts/demo.sh            # the Windows build under Wine (the product)
#   scripts/demo.sh linux      # the native Linux build
#
# Without a display of its own it runs on Xvfb and saves a screenshot of the window to
# build/demo/window.png.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
PLATFORM="${1:-windows}"
case "$PLATFORM" in windows | linux) ;; *) echo "usage: scripts/demo.sh [windows|linux]" >&2; exit 2 ;; esac
JOBS="${JOBS:-2}"
DEMO="$ROOT/build/demo"
say() { printf '\n== %s\n' "$*"; }

say "setting up"
scripts/setup.sh
[ "$PLATFORM" = windows ] && scripts/build_windows_deps.sh

PORT="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
BUILD="$DEMO/build-$PLATFORM"
TOOLS="$DEMO/build-tools"

say "the release key"
# A key without a password (-W), kept between demo runs; a real release key lives offline.
KEYS="$DEMO/keys"
mkdir -p "$KEYS"
if [ ! -f "$KEYS/minisign.key" ] || [ ! -f "$KEYS/minisign.pub" ]; then
  rm -f "$KEYS/minisign.key" "$KEYS/minisign.pub"
  minisign -G -W -p "$KEYS/minisign.pub" -s "$KEYS/minisign.key" >/dev/null
fi
cat "$KEYS/minisign.pub"

say "building korvane.exe for $PLATFORM with the site http://127.0.0.1:$PORT and the release key"
cmake --preset "$PLATFORM" -B "$BUILD" -DKORVANE_UPDATE_URL="http://127.0.0.1:$PORT" \
  -DKORVANE_RELEASE_KEY="$KEYS/minisign.pub" -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target korvane stand_in_client
cmake --preset linux -B "$TOOLS" -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$TOOLS" -j"$JOBS" --target korvane_publish
KORVANE="$BUILD/src/updater/korvane.exe"
CLIENT="$(find "$BUILD/tools/stand_in_client" -name stand_in_client.exe -type f | head -1)"

say "publishing the site"
rm -rf "$DEMO/site" "$DEMO/player"
mkdir -p "$DEMO/site" "$DEMO/player" "$DEMO/nginx"
# A 24 MiB game (the stand-in client with padding after its image, which it ignores), so
# the download takes a few seconds at the demo's rate.
cp "$CLIENT" "$DEMO/site/client.exe"
head -c $((24 * 1024 * 1024)) /dev/zero >>"$DEMO/site/client.exe"
cp -p "$KORVANE" "$DEMO/site/korvane.exe"
"$TOOLS/tools/korvane_publish/korvane-publish" "$DEMO/site"
# Signed after publishing (version.data is one of the signed files), checked before serving.
for file in version.data client.exe korvane.exe; do
  minisign -S -s "$KEYS/minisign.key" -m "$DEMO/site/$file" >/dev/null
done
"$TOOLS/tools/korvane_publish/korvane-publish" --verify "$DEMO/site" --key "$KEYS/minisign.pub"

# The player has this updater already and an old game.
cp -p "$KORVANE" "$DEMO/player/korvane.exe"
echo "an old game client" >"$DEMO/player/client.exe"

cat >"$DEMO/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
pid $DEMO/nginx/nginx.pid;
error_log $DEMO/nginx/error.log;
events { worker_connections 64; }
http {
    access_log $DEMO/nginx/access.log;
    client_body_temp_path $DEMO/nginx;
    proxy_temp_path $DEMO/nginx;
    fastcgi_temp_path $DEMO/nginx;
    uwsgi_temp_path $DEMO/nginx;
    scgi_temp_path $DEMO/nginx;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$PORT;
        root $DEMO/site;
        limit_rate 6m;
    }
}
CONF

STARTED_XVFB=""
NGINX_PID=""
cleanup() {
  [ -n "$NGINX_PID" ] && kill "$NGINX_PID" 2>/dev/null || true
  [ "$PLATFORM" = windows ] && scripts/wine_keepalive.sh stop >/dev/null 2>&1 || true
  [ -n "$STARTED_XVFB" ] && scripts/xvfb.sh stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

nginx -c "$DEMO/nginx/nginx.conf" -p "$DEMO/nginx" &
NGINX_PID=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.05
done

if [ -z "${DISPLAY:-}" ]; then
  eval "$(scripts/xvfb.sh start)"
  STARTED_XVFB=1
fi
[ "$PLATFORM" = windows ] && scripts/wine_keepalive.sh start >/dev/null

run_korvane() {
  if [ "$PLATFORM" = windows ]; then
    (cd "$DEMO/player" && timeout 300 "$ROOT/scripts/wine_run.sh" ./korvane.exe)
  else
    (cd "$DEMO/player" && timeout 300 ./korvane.exe)
  fi
}

say "first start: the old client differs from the site's record, so korvane.exe updates"
run_korvane 2>"$DEMO/first-run.stderr.log" &
RUN=$!
if [ -n "$STARTED_XVFB" ]; then
  # A picture of the window for those who cannot see the display.
  WINDOW=""
  for _ in $(seq 400); do
    WINDOW="$(xdotool search --onlyvisible --name '^Korvane \(Updater\)$' 2>/dev/null | head -1)" && [ -n "$WINDOW" ] && break
    sleep 0.05
  done
  sleep 2
  if [ -n "$WINDOW" ] && import -window "$WINDOW" "$DEMO/window.png" 2>/dev/null; then
    echo "(screenshot of the window: build/demo/window.png)"
  else
    echo "(no progress window seen)"
  fi
fi
wait "$RUN"
echo
echo "(libcurl's transfer trace and error lines: build/demo/first-run.stderr.log)"
ls -l --time-style=full-iso "$DEMO/player"

say "second start: everything matches, the game starts at once"
run_korvane 2>"$DEMO/second-run.stderr.log"
echo
sleep 0.5
echo "client_started.txt:"
cat "$DEMO/player/client_started.txt"
