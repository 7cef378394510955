#!/usr/bin/env bash
# Builds the libFuzzer targets with clang 14 and its sanitizers, apart from the CMake
# builds: the GSUB reader, the UTF-8 decoder, the minisign key and signature parsers and
# the patch application, each with only what it needs of the program.
#   tests/fuzz/build.sh [OUT_DIR]   # default build/fuzz
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
OUT="${1:-$ROOT/build/fuzz}"
CXX="${CXX_FUZZ:-clang++-14}"
mkdir -p "$OUT"
# The text headers name FreeType's types (nothing of FreeType is linked).
FREETYPE_CFLAGS="$(pkg-config --cflags freetype2)" ||
  { echo "fuzz build: pkg-config finds no freetype2: run scripts/setup.sh" >&2; exit 1; }

FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -include "$ROOT/tests/fuzz/clang14_compat.h"
       -I"$ROOT/src/runtime" -I"$ROOT/src/text" -I"$ROOT/src/updater" $FREETYPE_CFLAGS)

"$CXX" "${FLAGS[@]}" -o "$OUT/fuzz_gsub" \
  "$ROOT/tests/fuzz/fuzz_gsub.cpp" "$ROOT/src/text/gsub.cpp"
"$CXX" "${FLAGS[@]}" -o "$OUT/fuzz_utf8" \
  "$ROOT/tests/fuzz/fuzz_utf8.cpp" "$ROOT/src/text/utf8.cpp"
# Ed25519, BLAKE2b and base64 come from Debian's libsodium.
"$CXX" "${FLAGS[@]}" -o "$OUT/fuzz_minisign" \
  "$ROOT/tests/fuzz/fuzz_minisign.cpp" "$ROOT/src/updater/minisign.cpp" $(pkg-config --libs libsodium)
"$CXX" "${FLAGS[@]}" -I"$ROOT/src/updater" -o "$OUT/fuzz_patch" \
  "$ROOT/tests/fuzz/fuzz_patch.cpp" "$ROOT/src/updater/patch.cpp" \
  "$ROOT/src/runtime/print.cpp" "$ROOT/src/runtime/temporary_storage.cpp" -lzstd
echo "fuzzers in $OUT"
