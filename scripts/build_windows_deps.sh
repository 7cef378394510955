#!/usr/bin/env bash
# Cross-builds what the Windows build needs and Windows lacks, from Debian's own source
# packages, into build/third_party/win64/<name>-<version>/: libcurl as a DLL (Schannel
# TLS, static zlib), FreeType, libsodium, zstd and GoogleTest as static libraries. Each library is keyed
# by its version and finished with a stamp file written last, so a second run does
# nothing and an interrupted one starts that library again.
#   KORVANE_THIRD_PARTY=<folder> moves the cache (default build/third_party).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CACHE="${KORVANE_THIRD_PARTY:-$ROOT/build/third_party}"
SOURCES="$CACHE/src"
OUT="$CACHE/win64"
LOGS="$CACHE/logs"
JOBS="${JOBS:-2}"
PREFIX=x86_64-w64-mingw32
mkdir -p "$SOURCES" "$OUT" "$LOGS"

CURL_VERSION=7.88.1
FREETYPE_VERSION=2.12.1
GTEST_VERSION=1.12.1
SODIUM_VERSION=1.0.18
ZSTD_VERSION=1.5.4

say() { echo "build_windows_deps: $*"; }
fail() { echo "build_windows_deps: $*" >&2; exit 1; }

if ! command -v $PREFIX-gcc-posix >/dev/null || ! command -v $PREFIX-g++-posix >/dev/null; then
  fail "$PREFIX-gcc-posix or -g++-posix missing: run scripts/setup.sh (mingw-w64)"
fi
# The compiler knows its own root (headers and libraries of the target); Debian's static
# zlib for mingw-w64 (libz-mingw-w64-dev) sits there too. A bare name back means not found.
ZLIB_LIBRARY="$($PREFIX-gcc-posix -print-file-name=libz.a)"
MINGW_ROOT="$($PREFIX-gcc-posix -print-sysroot)"
if [ -z "$MINGW_ROOT" ]; then
  kernel32="$($PREFIX-gcc-posix -print-file-name=libkernel32.a)"
  [ "$kernel32" != libkernel32.a ] || fail "$PREFIX-gcc-posix finds no libkernel32.a: run scripts/setup.sh (mingw-w64)"
  MINGW_ROOT="$(dirname "$(dirname "$(realpath "$kernel32")")")"
fi

toolchain_args=(
  -G "Unix Makefiles"
  -DCMAKE_SYSTEM_NAME=Windows
  -DCMAKE_SYSTEM_PROCESSOR=x86_64
  -DCMAKE_C_COMPILER=$PREFIX-gcc-posix
  -DCMAKE_CXX_COMPILER=$PREFIX-g++-posix
  -DCMAKE_RC_COMPILER=$PREFIX-windres
  -DCMAKE_FIND_ROOT_PATH="$MINGW_ROOT"
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
)

stamp_ok() { [ -f "$1/.built" ]; }

# The project's configure finds each library with find_package (CMAKE_PREFIX_PATH of the
# windows preset): check that the install left what that search reads, before the stamp.
require_installed() {
  local dest="$1" file
  shift
  for file in "$@"; do
    [ -f "$dest/$file" ] || fail "$(basename "$dest"): the install has no $file"
  done
}

# Runs a command with its output in the log $1; on failure shows the log's end.
logged() {
  local log="$1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "failed: $* (whole log: $log)"
  fi
}

# Unpacks Debian's source package $1, whose upstream version must be $2, into
# $SOURCES/$1-$2 (downloaded with apt-get source, which needs a deb-src entry).
fetch_source() {
  local package="$1" version="$2"
  local dir="$SOURCES/$package-$version"
  [ -f "$dir/.unpacked" ] && return
  local download="$SOURCES/download-$package"
  rm -rf "$download" "$dir"
  mkdir -p "$download"
  # As root apt warns that the download is not sandboxed as user _apt; that is harmless.
  (cd "$download" && apt-get source --download-only -qq "$package") >"$LOGS/source-$package.log" 2>&1 ||
    { cat "$LOGS/source-$package.log" >&2; fail "apt-get source $package failed (is there a deb-src entry? run scripts/setup.sh)"; }
  local dsc
  dsc="$(ls "$download"/"${package}"_*.dsc 2>/dev/null | sort -V | tail -n1)"
  [ -n "$dsc" ] || fail "apt-get source $package gave no .dsc"
  # Version: [epoch:]upstream[+dfsg][-debian revision]
  local debian_version upstream
  debian_version="$(awk '/^Version:/{print $2; exit}' "$dsc")"
  upstream="${debian_version#*:}"
  upstream="${upstream%-*}"
  upstream="${upstream%%+*}"
  [ "$upstream" = "$version" ] ||
    fail "Debian's $package is $debian_version, this script builds $version: update the version here"
  logged "$LOGS/source-$package.log" dpkg-source --no-check -x "$dsc" "$dir"
  echo "$debian_version" >"$dir/.unpacked"
  say "$package $debian_version unpacked"
}

check_curl_imports() {
  local dll="$1" imports
  imports="$($PREFIX-objdump -p "$dll" | awk '/DLL Name:/{print $3}' | sort -f | tr '\n' ' ')"
  for import in $imports; do
    case "${import,,}" in
      advapi32.dll|bcrypt.dll|crypt32.dll|kernel32.dll|msvcrt.dll|ws2_32.dll) ;;
      *) fail "libcurl.dll imports $import, which is not a Windows system DLL" ;;
    esac
  done
  echo "$imports"
}

build_curl() {
  local dest="$OUT/curl-$CURL_VERSION" build="$CACHE/build-curl" log="$LOGS/curl.log"
  stamp_ok "$dest" && return
  local start=$SECONDS
  rm -rf "$build" "$dest"
  : >"$log"
  logged "$log" cmake -S "$SOURCES/curl-$CURL_VERSION" -B "$build" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_INSTALL_PREFIX="$dest" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON -DENABLE_WEBSOCKETS=ON \
    -DCURL_ZLIB=ON -DZLIB_LIBRARY="$ZLIB_LIBRARY" -DZLIB_INCLUDE_DIR="$ZLIB_INCLUDE_DIR" \
    -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_USE_LIBPSL=OFF -DENABLE_UNIX_SOCKETS=OFF \
    -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc"
  local configured=$SECONDS
  logged "$log" cmake --build "$build" -j"$JOBS"
  logged "$log" cmake --install "$build"
  require_installed "$dest" bin/libcurl.dll include/curl/curl.h lib/cmake/CURL/CURLConfig.cmake
  $PREFIX-strip "$dest/bin/libcurl.dll"
  local imports size
  imports="$(check_curl_imports "$dest/bin/libcurl.dll")"
  size="$(stat -c %s "$dest/bin/libcurl.dll")"
  local took="configure $((configured - start)) s, build $((SECONDS - configured)) s"
  say "libcurl $CURL_VERSION: libcurl.dll $size bytes, imports ${imports}($took)"
  echo "libcurl $CURL_VERSION from $(cat "$SOURCES/curl-$CURL_VERSION/.unpacked"): $took; libcurl.dll $size bytes" >"$dest/.built"
}

build_freetype() {
  local dest="$OUT/freetype-$FREETYPE_VERSION" build="$CACHE/build-freetype" log="$LOGS/freetype.log"
  stamp_ok "$dest" && return
  local start=$SECONDS
  rm -rf "$build" "$dest"
  : >"$log"
  # No external libraries: the window's font is a plain TrueType file.
  logged "$log" cmake -S "$SOURCES/freetype-$FREETYPE_VERSION" -B "$build" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
    -DFT_DISABLE_BROTLI=ON
  logged "$log" cmake --build "$build" -j"$JOBS"
  logged "$log" cmake --install "$build"
  # FindFreetype looks for the header and the library, not for a config file.
  require_installed "$dest" include/freetype2/ft2build.h lib/libfreetype.a
  say "FreeType $FREETYPE_VERSION static ($((SECONDS - start)) s)"
  echo "FreeType $FREETYPE_VERSION from $(cat "$SOURCES/freetype-$FREETYPE_VERSION/.unpacked"): $((SECONDS - start)) s" >"$dest/.built"
}

build_googletest() {
  local dest="$OUT/googletest-$GTEST_VERSION" build="$CACHE/build-googletest" log="$LOGS/googletest.log"
  stamp_ok "$dest" && return
  local start=$SECONDS
  rm -rf "$build" "$dest"
  : >"$log"
  # gtest_disable_pthreads: the posix compilers have std::thread, but GoogleTest's own
  # pthread path would pull in libwinpthread as a DLL.
  logged "$log" cmake -S "$SOURCES/googletest-$GTEST_VERSION" -B "$build" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=ON -DCMAKE_CXX_FLAGS="-gdwarf-4"
  logged "$log" cmake --build "$build" -j"$JOBS"
  logged "$log" cmake --install "$build"
  require_installed "$dest" lib/cmake/GTest/GTestConfig.cmake lib/libgtest.a lib/libgmock.a
  say "GoogleTest $GTEST_VERSION static with GoogleMock ($((SECONDS - start)) s)"
  echo "GoogleTest $GTEST_VERSION from $(cat "$SOURCES/googletest-$GTEST_VERSION/.unpacked"): $((SECONDS - start)) s" >"$dest/.built"
}

build_libsodium() {
  local dest="$OUT/libsodium-$SODIUM_VERSION" build="$CACHE/build-libsodium" log="$LOGS/libsodium.log"
  stamp_ok "$dest" && return
  local start=$SECONDS
  rm -rf "$build" "$dest"
  : >"$log"
  # Autotools, out of the source tree; static only, so the updater needs no DLL for it.
  # The release signatures need only Ed25519 and BLAKE2b: --enable-minimal leaves the rest out.
  # Debian's source package carries no generated configure script: make it first.
  local source="$SOURCES/libsodium-$SODIUM_VERSION"
  [ -x "$source/configure" ] || logged "$log" env -C "$source" autoreconf -fi
  mkdir -p "$build"
  logged "$log" env -C "$build" "$source/configure" \
    --host=$PREFIX --prefix="$dest" --disable-shared --enable-static --enable-minimal \
    --disable-dependency-tracking CC=$PREFIX-gcc-posix CFLAGS="-O2 -gdwarf-4"
  logged "$log" make -C "$build" -j"$JOBS"
  logged "$log" make -C "$build" install
  say "libsodium $SODIUM_VERSION static ($((SECONDS - start)) s)"
  echo "libsodium $SODIUM_VERSION from $(cat "$SOURCES/libsodium-$SODIUM_VERSION/.unpacked"): $((SECONDS - start)) s" >"$dest/.built"
}

build_zstd() {
  local dest="$OUT/zstd-$ZSTD_VERSION" build="$CACHE/build-zstd" log="$LOGS/zstd.log"
  stamp_ok "$dest" && return
  local start=$SECONDS
  rm -rf "$build" "$dest"
  : >"$log"
  # The library alone, from its CMake build: no programs, no shared library, no legacy
  # frame formats (nothing we read predates the current format), no worker threads
  # (patches are applied on the caller's thread).
  logged "$log" cmake -S "$SOURCES/libzstd-$ZSTD_VERSION/build/cmake" -B "$build" "${toolchain_args[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$dest" \
    -DZSTD_BUILD_STATIC=ON -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_PROGRAMS=OFF \
    -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF -DZSTD_LEGACY_SUPPORT=OFF \
    -DZSTD_MULTITHREAD_SUPPORT=OFF
  logged "$log" cmake --build "$build" -j"$JOBS"
  logged "$log" cmake --install "$build"
  [ -f "$dest/lib/libzstd.a" ] || fail "zstd: no libzstd.a in $dest/lib"
  say "zstd $ZSTD_VERSION static ($((SECONDS - start)) s)"
  echo "zstd $ZSTD_VERSION from $(cat "$SOURCES/libzstd-$ZSTD_VERSION/.unpacked"): $((SECONDS - start)) s" >"$dest/.built"
}

if stamp_ok "$OUT/curl-$CURL_VERSION" && stamp_ok "$OUT/freetype-$FREETYPE_VERSION" &&
   stamp_ok "$OUT/googletest-$GTEST_VERSION" && stamp_ok "$OUT/libsodium-$SODIUM_VERSION" &&
   stamp_ok "$OUT/zstd-$ZSTD_VERSION"; then
  say "cache ready in $OUT"
  exit 0
fi

[ "$ZLIB_LIBRARY" != libz.a ] || fail "$PREFIX-gcc-posix finds no libz.a: run scripts/setup.sh (libz-mingw-w64-dev)"
ZLIB_LIBRARY="$(realpath "$ZLIB_LIBRARY")"
ZLIB_INCLUDE_DIR="$(dirname "$(dirname "$ZLIB_LIBRARY")")/include"
[ -f "$ZLIB_INCLUDE_DIR/zlib.h" ] || fail "no zlib.h beside $ZLIB_LIBRARY: run scripts/setup.sh (libz-mingw-w64-dev)"

start=$SECONDS
stamp_ok "$OUT/curl-$CURL_VERSION" || fetch_source curl $CURL_VERSION
stamp_ok "$OUT/freetype-$FREETYPE_VERSION" || fetch_source freetype $FREETYPE_VERSION
stamp_ok "$OUT/googletest-$GTEST_VERSION" || fetch_source googletest $GTEST_VERSION
stamp_ok "$OUT/libsodium-$SODIUM_VERSION" || fetch_source libsodium $SODIUM_VERSION
# Debian names the source package of zstd "libzstd".
stamp_ok "$OUT/zstd-$ZSTD_VERSION" || fetch_source libzstd $ZSTD_VERSION

# The configure steps of curl and libsodium are long rows of single-threaded checks:
# three chains side by side keep both cores busy.
build_curl &
curl_pid=$!
build_libsodium &
sodium_pid=$!
(build_googletest; build_freetype; build_zstd) &
others_pid=$!
failed=0
wait "$curl_pid" || failed=1
wait "$sodium_pid" || failed=1
wait "$others_pid" || failed=1
[ "$failed" = 0 ] || fail "some libraries failed; see $LOGS"
say "cache ready in $OUT ($((SECONDS - start)) s)"
