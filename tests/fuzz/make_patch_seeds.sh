#!/usr/bin/env bash
# Remakes the seed corpus of fuzz_patch (tests/fuzz/corpus/patch) with the zstd tool:
# small old and new files from a fixed seed, patches made with several of the tool's
# options, each packed in the fuzzer's input layout (see fuzz_patch.cpp).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
OUT="$ROOT/tests/fuzz/corpus/patch"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT"
rm -f "$OUT"/*.seed

/usr/bin/python3 - "$WORK" <<'PY'
import random, sys
work = sys.argv[1]
rng = random.Random(15)
old = bytearray(rng.randbytes(1200)) + b"korvane " * 40
new = bytearray(old)
for at in (10, 500, 501, 1300):
    new[at] ^= 0x33
new += rng.randbytes(150)
open(f"{work}/old", "wb").write(old)
open(f"{work}/new", "wb").write(new)
open(f"{work}/text_old", "wb").write(b"version 1 of the client\n" * 30)
open(f"{work}/text_new", "wb").write(b"version 2 of the client\n" * 30 + b"and a new line\n")
open(f"{work}/empty", "wb").write(b"")
PY

# seed NAME OLD NEW PIECE [zstd options...]
seed() {
  local name="$1" old="$WORK/$2" new="$WORK/$3" piece="$4"
  shift 4
  zstd -q -f "$@" --patch-from="$old" "$new" -o "$WORK/patch" 2>/dev/null
  /usr/bin/python3 - "$old" "$new" "$WORK/patch" "$piece" "$OUT/$name.seed" <<'PY'
import struct, sys
old, new, patch = (open(p, "rb").read() for p in sys.argv[1:4])
open(sys.argv[5], "wb").write(struct.pack("<BHH", int(sys.argv[4]), len(old), len(new)) + old + patch)
PY
}
seed plain old new 0
seed in_pieces old new 7
seed level19 old new 0 -19
seed long_window old new 3 --long=27
seed no_content_size old new 0 --no-content-size
seed no_check old new 0 --no-check
seed text text_old text_new 1
seed from_empty empty text_new 0
ls -l "$OUT"
