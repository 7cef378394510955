#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine to a summary: installs what is
# missing, builds the Windows third-party cache, builds the linux, linux-asan,
# linux-tsan and windows presets, runs the unit tests natively, under the sanitizers and
# under Wine, then the end-to-end tests and the fuzzers. Starts Xvfb, Wine's keep-alive
# process and the test servers itself and stops them on the way out.
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"

declare -a SUMMARY=()
FAILED=0

# run_step NAME COMMAND...: runs and times one step, records its result.
run_step() {
  local name="$1"
  shift
  local start=$SECONDS
  echo
  echo "=== $name"
  if "$@"; then
    SUMMARY+=("$(printf '%-34s %-6s %5ds' "$name" ok $((SECONDS - start)))")
  else
    SUMMARY+=("$(printf '%-34s %-6s %5ds' "$name" FAILED $((SECONDS - start)))")
    FAILED=1
  fi
}

cleanup() {
  scripts/wine_keepalive.sh stop >/dev/null 2>&1 || true
  scripts/xvfb.sh stop >/dev/null 2>&1 || true
}
trap cleanup EXIT

print_summary() {
  echo
  echo "=== summary"
  printf '%s\n' "${SUMMARY[@]}"
  echo "total $((SECONDS))s"
}

run_step "setup" scripts/setup.sh || true
run_step "windows third-party cache" scripts/build_windows_deps.sh
if [ "$FAILED" != 0 ]; then
  print_summary
  exit 1
fi

eval "$(scripts/xvfb.sh start)"
echo "Xvfb on $DISPLAY"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export LSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/tsan.supp"

build_preset() {
  local preset="$1"
  shift
  cmake --preset "$preset" "$@" >/dev/null && cmake --build --preset "$preset" -j"$JOBS"
}

test_preset() {
  ctest --preset "$1" --timeout 300
}

run_step "build linux" build_preset linux
run_step "unit tests linux" test_preset linux
run_step "build linux-asan" build_preset linux-asan -DKORVANE_BUILD_BENCH=OFF
run_step "unit tests linux-asan" test_preset linux-asan
run_step "build linux-tsan" build_preset linux-tsan -DKORVANE_BUILD_BENCH=OFF
run_step "unit tests linux-tsan" test_preset linux-tsan
run_step "build windows" build_preset windows

# Make the Wine prefix before anything else runs in it (the first start takes seconds).
scripts/wine_run.sh cmd /c exit >/dev/null 2>&1 || true
scripts/wine_keepalive.sh start
run_step "unit tests windows (Wine)" test_preset windows

# The end-to-end builds have the test servers' URL compiled in.
E2E_PORT="${KORVANE_E2E_PORT:-18731}"
build_e2e() {
  cmake --preset "$1" -B "build/e2e-$1" -DKORVANE_UPDATE_URL="http://127.0.0.1:$E2E_PORT" \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "build/e2e-$1" -j"$JOBS"
}
run_step "build end-to-end linux" build_e2e linux
run_step "build end-to-end windows" build_e2e windows
run_step "end-to-end tests" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e
if [ -x tests/fuzz/run.sh ]; then
  run_step "fuzzers" tests/fuzz/run.sh
fi

print_summary
exit "$FAILED"
