#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and demo, and the
# deb-src entry that the Windows third-party build takes its sources from. Does nothing
# when all of it is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake g++ gcc git pkg-config ca-certificates
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libfreetype-dev libx11-dev libxi-dev libgl-dev libglx-dev libgl1-mesa-dri
  mingw-w64 libz-mingw-w64-dev wine64 dpkg-dev
  xvfb xauth x11-utils xdotool imagemagick
  nginx
  python3 python3-pytest python3-fonttools
  khronos-api
  clang libclang-rt-14-dev
  hyperfine
)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# deb-src for bookworm main, mirroring the existing deb entry.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  echo "setup: adding a deb-src entry for bookworm main"
  $SUDO tee /etc/apt/sources.list.d/korvane-src.sources >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  NEED_UPDATE=1
fi

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ] || [ "${NEED_UPDATE:-0}" = 1 ]; then
  echo "setup: installing ${missing[*]:-(nothing, refreshing package lists)}"
  $SUDO apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi
echo "setup: all packages present"
