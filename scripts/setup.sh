#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and demo, and the
# deb-src entry for bookworm main that the Windows third-party build takes its sources
# from. When all of it is there it does nothing (no apt-get update).
set -euo pipefail

PACKAGES=(
  # native build
  build-essential cmake g++ gcc git pkg-config ca-certificates procps
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libcurl4 libfreetype-dev libx11-dev libxi-dev libgl-dev libglx-dev
  libgl1-mesa-dri khronos-api
  # release signatures: libsodium, and minisign to make and check them in tests and the demo
  libsodium-dev minisign
  # patches: libzstd
  libzstd-dev
  clang libclang-rt-14-dev
  # Windows cross build and Wine
  mingw-w64 libz-mingw-w64-dev wine64 dpkg-dev
  # libsodium's Debian source has no generated configure script
  autoconf automake libtool
  # what Wine loads at run time for windows, OpenGL and text (only recommended by libwine)
  fonts-wine libgl1 libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1
  libxfixes3 libxxf86vm1 libgnutls30 libdbus-1-3 libosmesa6
  # display, windows and pixels
  xvfb xauth x11-utils xdotool imagemagick
  # end-to-end tests, tools and benchmarks
  nginx python3 python3-pytest python3-fonttools hyperfine zstd
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

need_update=0

# --- deb-src for bookworm main ---

# True when some deb-src entry (deb822 or one-line) covers the bookworm suite, main.
has_bookworm_source() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; found = 0 }
         /(^|\n)Types:[^\n]*deb-src/ && /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t]|\n|$)/ &&
         /(^|\n)Components:[^\n]*[ \t]main([ \t]|\n|$)/ && !/(^|\n)Enabled:[ \t]*no/ { found = 1 }
         END { exit !found }' "$file" && return 0
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    grep -Eq '^[[:space:]]*deb-src([[:space:]]+\[[^]]*\])?[[:space:]]+[^[:space:]]+[[:space:]]+bookworm[[:space:]].*\bmain\b'
}

# Writes a deb-src entry with the same mirror and key as the existing deb entry of
# bookworm main (deb822 or one-line), or Debian's own mirror when there is none.
add_bookworm_source() {
  local uri="" signed_by="" file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    read -r uri signed_by < <(awk 'BEGIN { RS = "" }
      /(^|\n)Types:[^\n]*deb([ \t]|\n|$)/ && /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t]|\n|$)/ &&
      /(^|\n)Components:[^\n]*[ \t]main/ {
        uri = ""; key = ""
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^URIs:/) { split(lines[i], f, /[ \t]+/); uri = f[2] }
          if (lines[i] ~ /^Signed-By:/) { split(lines[i], f, /[ \t]+/); key = f[2] }
        }
        if (uri != "") { print uri, key; exit }
      }' "$file") || true
    [ -n "$uri" ] && break
  done
  if [ -z "$uri" ]; then
    uri="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk '$1 == "deb" { i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                         if ($(i + 1) == "bookworm") { print $i; exit } }')" || true
  fi
  uri="${uri:-http://deb.debian.org/debian}"
  if [ -z "$signed_by" ] && [ -f /usr/share/keyrings/debian-archive-keyring.gpg ]; then
    signed_by=/usr/share/keyrings/debian-archive-keyring.gpg
  fi
  echo "setup: adding a deb-src entry for bookworm main from $uri"
  {
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: bookworm"
    echo "Components: main"
    [ -n "$signed_by" ] && echo "Signed-By: $signed_by"
  } | $SUDO tee /etc/apt/sources.list.d/korvane-src.sources >/dev/null
}

if ! has_bookworm_source; then
  add_bookworm_source
  need_update=1
fi
# The source index itself (a fresh container may have emptied /var/lib/apt/lists).
if ! ls /var/lib/apt/lists/*_dists_bookworm_main_source_Sources* >/dev/null 2>&1; then
  need_update=1
fi

# --- packages ---

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  need_update=1
fi

if [ "$need_update" = 1 ]; then
  echo "setup: apt-get update"
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"
