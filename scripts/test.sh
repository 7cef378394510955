#!/usr/bin/env bash
# The whole test run, from a fresh Debian 12 machine to a summary: installs what is
# missing, builds the Windows third-party cache, builds the linux, linux-asan,
# linux-tsan and windows presets, runs the unit tests natively, under the sanitizers and
# under Wine, then builds korvane.exe for the end-to-end tests and runs them for both
# platforms. Starts Xvfb and Wine's keep-alive process itself and stops them on the way
# out. Exits non-zero when any step fails.
#
#   KORVANE_BUILD_ROOT=build/mine scripts/test.sh   # build folders elsewhere (default build/)
#   KORVANE_THIRD_PARTY=<folder>, WINEPREFIX=<folder>: the third-party cache and the Wine
#   prefix elsewhere (defaults build/third_party, build/wineprefix)
#   JOBS=2 (compile jobs), CTEST_PARALLEL_LEVEL=2, KORVANE_E2E_PORT=18731
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
BUILD_ROOT="${KORVANE_BUILD_ROOT:-build}"
case "$BUILD_ROOT" in /*) ;; *) BUILD_ROOT="$ROOT/$BUILD_ROOT" ;; esac
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"
export KORVANE_E2E_PORT="${KORVANE_E2E_PORT:-18731}"
# The Windows builds find the third-party cache where build_windows_deps.sh puts it.
WINDOWS_ARGS=()
if [ -n "${KORVANE_THIRD_PARTY:-}" ]; then
  WINDOWS_ARGS=(-DKORVANE_WIN64_DEPS="$KORVANE_THIRD_PARTY/win64")
fi

declare -a SUMMARY=()
FAILED=0
STARTED_XVFB=""
STARTED_WINE=""

# run_step NAME COMMAND...: runs and times one step and records its result.
run_step() {
  local name="$1"
  shift
  local start=$SECONDS
  echo
  echo "=== $name"
  if "$@"; then
    SUMMARY+=("$(printf '%-32s %-7s %5d s' "$name" ok $((SECONDS - start)))")
  else
    SUMMARY+=("$(printf '%-32s %-7s %5d s' "$name" FAILED $((SECONDS - start)))")
    FAILED=1
  fi
}

print_summary() {
  echo
  echo "=== summary"
  printf '%-32s %-7s %7s\n' step result time
  printf '%s\n' "${SUMMARY[@]}"
  printf '%-32s %-7s %5d s\n' total "$([ "$FAILED" = 0 ] && echo ok || echo FAILED)" "$SECONDS"
}

cleanup() {
  if [ -n "$STARTED_WINE" ]; then scripts/wine_keepalive.sh stop >/dev/null 2>&1 || true; fi
  if [ -n "$STARTED_XVFB" ]; then scripts/xvfb.sh stop "$STARTED_XVFB" >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

run_step "setup" scripts/setup.sh
[ "$FAILED" = 0 ] && run_step "windows third-party cache" scripts/build_windows_deps.sh
if [ "$FAILED" != 0 ]; then
  print_summary
  exit 1
fi

if ! eval "$(scripts/xvfb.sh start)"; then
  echo "test: could not start Xvfb" >&2
  exit 1
fi
STARTED_XVFB="$KORVANE_XVFB_PID"
echo "Xvfb on $DISPLAY (pid $KORVANE_XVFB_PID)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export LSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/tsan.supp"

# build PRESET DIR [cmake options...]: configures and builds all of it.
build() {
  local preset="$1" dir="$2"
  shift 2
  cmake --preset "$preset" -B "$dir" "$@" >/dev/null && cmake --build "$dir" -j"$JOBS"
}

unit_tests() {
  ctest --test-dir "$1" --output-on-failure --timeout 300
}

run_step "build linux" build linux "$BUILD_ROOT/linux"
run_step "unit tests linux" unit_tests "$BUILD_ROOT/linux"
# The sanitizer builds skip the benchmarks: their compile time buys nothing there.
run_step "build linux-asan" build linux-asan "$BUILD_ROOT/linux-asan" -DKORVANE_BUILD_BENCH=OFF
run_step "unit tests linux-asan" unit_tests "$BUILD_ROOT/linux-asan"
run_step "build linux-tsan" build linux-tsan "$BUILD_ROOT/linux-tsan" -DKORVANE_BUILD_BENCH=OFF
run_step "unit tests linux-tsan" unit_tests "$BUILD_ROOT/linux-tsan"
run_step "build windows" build windows "$BUILD_ROOT/windows" "${WINDOWS_ARGS[@]}"

# One idle Wine process for the whole Windows part (it also makes a new prefix first).
STARTED_WINE=1
run_step "start Wine" scripts/wine_keepalive.sh start
run_step "unit tests windows (Wine)" unit_tests "$BUILD_ROOT/windows"

# The end-to-end builds have the test servers' URL compiled in (see tests/e2e/README.md);
# they need only the updater and the stand-in client. Beside the plain updater they build
# korvane_keyed.exe, the same program with a release key the tests sign with: a key pair
# made here once (no password), its secret half read by the tests.
E2E_KEYS="$BUILD_ROOT/e2e-keys"
make_e2e_keys() {
  [ -f "$E2E_KEYS/minisign.key" ] && [ -f "$E2E_KEYS/minisign.pub" ] && return
  mkdir -p "$E2E_KEYS"
  rm -f "$E2E_KEYS/minisign.key" "$E2E_KEYS/minisign.pub"
  minisign -G -W -p "$E2E_KEYS/minisign.pub" -s "$E2E_KEYS/minisign.key" >/dev/null
}
build_e2e() {
  local preset="$1" dir="$BUILD_ROOT/e2e-$1"
  local extra=()
  [ "$preset" = windows ] && extra=("${WINDOWS_ARGS[@]}")
  # What the end-to-end tests run: the updater, the stand-in game, the probes; the
  # publisher tool runs on the host.
  local targets=(korvane korvane_keyed stand_in_client partial_http_library input_probe hold_file)
  [ "$preset" = linux ] && targets+=(korvane_publish)
  make_e2e_keys &&
  cmake --preset "$preset" -B "$dir" -DKORVANE_UPDATE_URL="http://127.0.0.1:$KORVANE_E2E_PORT" \
    -DKORVANE_E2E_RELEASE_KEY="$E2E_KEYS/minisign.pub" \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF "${extra[@]}" >/dev/null &&
    cmake --build "$dir" -j"$JOBS" --target "${targets[@]}"
}
run_step "build end-to-end linux" build_e2e linux
run_step "build end-to-end windows" build_e2e windows
export KORVANE_E2E_BUILD_ROOT="$BUILD_ROOT" KORVANE_E2E_REQUIRE=1
# run_e2e.sh names the test that was running when pytest ends without its summary.
run_step "end-to-end tests" scripts/run_e2e.sh

if [ -x tests/fuzz/run.sh ]; then
  # Half a minute a target keeps the whole run well inside CI's time; run.sh alone takes a
  # minute each.
  run_step "fuzzers" env FUZZ_SECONDS="${FUZZ_SECONDS:-30}" tests/fuzz/run.sh
fi

print_summary
exit "$FAILED"
