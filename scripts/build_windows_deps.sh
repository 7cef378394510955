#!/usr/bin/env bash
# Cross-builds what the Windows build needs and Windows lacks, from Debian's own source
# packages, into build/third_party/win64/<name>-<version>/: libcurl as a DLL (Schannel
# TLS, static zlib), FreeType and GoogleTest as static libraries. Each library is keyed
# by its version and finished with a stamp file, so a second run does nothing.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CACHE="$ROOT/build/third_party"
SOURCES="$CACHE/src"
OUT="$CACHE/win64"
JOBS="${JOBS:-2}"
PREFIX=x86_64-w64-mingw32
mkdir -p "$SOURCES" "$OUT"

CURL_VERSION=7.88.1
FREETYPE_VERSION=2.12.1
GTEST_VERSION=1.12.1

toolchain_args=(
  -DCMAKE_SYSTEM_NAME=Windows
  -DCMAKE_C_COMPILER=$PREFIX-gcc-posix
  -DCMAKE_CXX_COMPILER=$PREFIX-g++-posix
  -DCMAKE_RC_COMPILER=$PREFIX-windres
  -DCMAKE_FIND_ROOT_PATH=/usr/$PREFIX
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
)

# Unpacks Debian's source package $1 (upstream version $2) and prints its folder.
fetch_source() {
  local package="$1" version="$2"
  local dir
  dir="$(find "$SOURCES" -maxdepth 1 -type d -name "$package-$version*" | head -n1)"
  if [ -z "$dir" ]; then
    (cd "$SOURCES" && apt-get source -qq "$package=$(apt-cache showsrc "$package" | awk '/^Version:/{print $2; exit}')" >/dev/null 2>&1 \
      || (cd "$SOURCES" && apt-get source -qq "$package" >/dev/null))
    dir="$(find "$SOURCES" -maxdepth 1 -type d -name "$package-$version*" | head -n1)"
  fi
  [ -n "$dir" ] || { echo "build_windows_deps: could not unpack $package $version" >&2; exit 1; }
  echo "$dir"
}

stamp_ok() { [ -f "$1/.built" ]; }

build_curl() {
  local dest="$OUT/curl-$CURL_VERSION"
  stamp_ok "$dest" && return
  local start=$SECONDS src
  src="$(fetch_source curl $CURL_VERSION)"
  rm -rf "$CACHE/build-curl" "$dest"
  cmake -S "$src" -B "$CACHE/build-curl" -G "Unix Makefiles" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_INSTALL_PREFIX="$dest" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON -DENABLE_WEBSOCKETS=ON \
    -DCURL_ZLIB=ON -DZLIB_LIBRARY=/usr/$PREFIX/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$PREFIX/include \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_USE_LIBPSL=OFF -DENABLE_UNIX_SOCKETS=OFF -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc" >/dev/null
  cmake --build "$CACHE/build-curl" -j"$JOBS" >/dev/null
  cmake --install "$CACHE/build-curl" >/dev/null
  $PREFIX-strip "$dest/bin/libcurl.dll"
  local imports
  imports="$($PREFIX-objdump -p "$dest/bin/libcurl.dll" | awk '/DLL Name/{print $3}' | sort | tr '\n' ' ')"
  echo "build_windows_deps: libcurl.dll $(stat -c %s "$dest/bin/libcurl.dll") bytes, imports: $imports($((SECONDS - start)) s)"
  for dll in $imports; do
    case "${dll,,}" in
      advapi32.dll|bcrypt.dll|crypt32.dll|kernel32.dll|msvcrt.dll|ws2_32.dll|normaliz.dll|user32.dll) ;;
      *) echo "build_windows_deps: libcurl.dll depends on $dll, which Windows does not have" >&2; exit 1 ;;
    esac
  done
  touch "$dest/.built"
}

build_freetype() {
  local dest="$OUT/freetype-$FREETYPE_VERSION"
  stamp_ok "$dest" && return
  local start=$SECONDS src
  src="$(fetch_source freetype $FREETYPE_VERSION)"
  rm -rf "$CACHE/build-freetype" "$dest"
  cmake -S "$src" -B "$CACHE/build-freetype" -G "Unix Makefiles" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
    -DFT_DISABLE_BROTLI=ON >/dev/null
  cmake --build "$CACHE/build-freetype" -j"$JOBS" >/dev/null
  cmake --install "$CACHE/build-freetype" >/dev/null
  echo "build_windows_deps: FreeType $FREETYPE_VERSION ($((SECONDS - start)) s)"
  touch "$dest/.built"
}

build_googletest() {
  local dest="$OUT/googletest-$GTEST_VERSION"
  stamp_ok "$dest" && return
  local start=$SECONDS src
  src="$(fetch_source googletest $GTEST_VERSION)"
  rm -rf "$CACHE/build-googletest" "$dest"
  cmake -S "$src" -B "$CACHE/build-googletest" -G "Unix Makefiles" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON -DCMAKE_CXX_FLAGS="-gdwarf-4" >/dev/null
  cmake --build "$CACHE/build-googletest" -j"$JOBS" >/dev/null
  cmake --install "$CACHE/build-googletest" >/dev/null
  echo "build_windows_deps: GoogleTest $GTEST_VERSION ($((SECONDS - start)) s)"
  touch "$dest/.built"
}

build_googletest
build_freetype
build_curl
echo "build_windows_deps: cache ready in build/third_party/win64"
