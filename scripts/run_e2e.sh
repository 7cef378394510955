#!/usr/bin/env bash
# Runs the end-to-end tests and always says how the run ended. pytest's own end gives its
# summary (exit status 0: all passed, 1: some failed); any other end (killed by a signal,
# a library calling exit() inside a test, a crash) is named here with the exit status or
# signal and the test that was running, read from the record tests/e2e/conftest.py keeps.
#
#   scripts/run_e2e.sh [pytest arguments...]   # default: tests/e2e; paths from the tree's top
#
# KORVANE_E2E_BUILD_ROOT (default build/) holds the builds under test, the record of the
# running test (e2e-running.txt) and the per-test results as JUnit XML (e2e-results.xml).
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD_ROOT="${KORVANE_E2E_BUILD_ROOT:-$ROOT/build}"
RUNNING="$BUILD_ROOT/e2e-running.txt"
RESULTS="$BUILD_ROOT/e2e-results.xml"
[ $# -gt 0 ] || set -- tests/e2e

mkdir -p "$BUILD_ROOT"
# A record left by an earlier run that was cut short would name the wrong test.
rm -f "$RUNNING" "$RESULTS"
# Debian's pytest belongs to the system interpreter, not to whatever python3 is first on PATH.
/usr/bin/python3 -X faulthandler -m pytest -q -p no:cacheprovider --junitxml="$RESULTS" "$@"
status=$?

say() { echo "end-to-end tests: $*"; }

if [ "$status" -gt 128 ]; then
  how="killed by signal SIG$(kill -l $((status - 128)) 2>/dev/null || echo $((status - 128))) (exit status $status)"
else
  how="exit status $status"
fi

if [ -e "$RUNNING" ]; then
  say "pytest was cut short, $how, without its summary"
  say "running then: $(cat "$RUNNING")"
  # A run cut short never passes, whatever status it left.
  [ "$status" -ne 0 ] || status=1
  exit "$status"
fi

case "$status" in
  0) say "pytest ended: every test passed" ;;
  1) say "pytest ended: some tests failed (listed above)" ;;
  2) say "pytest ended: interrupted ($how)" ;;
  3) say "pytest ended: internal error in pytest ($how)" ;;
  4) say "pytest ended: usage error ($how)" ;;
  5) say "pytest ended: no tests collected ($how)" ;;
  *) say "pytest ended abnormally before its first test or after its summary, $how" ;;
esac
exit "$status"
