#!/usr/bin/env bash
# Builds and runs each fuzzer for a bounded time (FUZZ_SECONDS, default 60) from its
# committed seed corpus. New inputs go to a scratch corpus under the build folder, crash
# inputs beside it. Exits non-zero when a fuzzer finds a crash, a leak or a hang.
#   tests/fuzz/run.sh
#   FUZZ_SECONDS=10 tests/fuzz/run.sh
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD_ROOT="${KORVANE_BUILD_ROOT:-$ROOT/build}"
case "$BUILD_ROOT" in /*) ;; *) BUILD_ROOT="$ROOT/$BUILD_ROOT" ;; esac
OUT="$BUILD_ROOT/fuzz"
SECONDS_EACH="${FUZZ_SECONDS:-60}"

"$ROOT/tests/fuzz/build.sh" "$OUT" || exit 1

failed=0
for name in gsub utf8 minisign patch; do
  scratch="$OUT/corpus_$name"
  mkdir -p "$scratch" "$OUT/artifacts"
  echo "=== fuzz_$name for ${SECONDS_EACH}s"
  # -timeout: one input taking longer counts as a hang; -rss_limit_mb: a memory blow-up
  # counts as a failure.
  if ! "$OUT/fuzz_$name" "$scratch" "$ROOT/tests/fuzz/corpus/$name" \
      -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$OUT/artifacts/${name}-" 2>"$OUT/fuzz_$name.log"; then
    echo "fuzz_$name FAILED; log: $OUT/fuzz_$name.log"
    tail -n 40 "$OUT/fuzz_$name.log"
    failed=1
  else
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$OUT/fuzz_$name.log"
  fi
done
exit "$failed"
