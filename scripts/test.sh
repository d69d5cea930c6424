#!/usr/bin/env bash
# The whole test suite: set-up and build, then every test in the normal
# build, in the sanitizer build and in the Windows build (under Wine). A build
# folder without tests fails, and so does a skipped test (CTest counts a
# GoogleTest skip as passed, which would let a test that no longer runs go
# unnoticed) unless its name says it is the other system's. Last, every
# fuzzing harness replays
# its committed inputs and runs 30 s on new ones (scripts/fuzz.sh): about
# eight minutes with its build, which keeps a CI run well within its limit.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --all --windows
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for dir in build build-asan build-win; do
  echo "== tests in $dir"
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 600 2>&1 | tee "$log" || status=1
  # A skip fails the suite, but for a case whose name says it is the other
  # system's (OnLinux in the Windows build, OnWindows in the Linux ones).
  other=OnWindows
  [ "$dir" = build-win ] && other=OnLinux
  if grep -E '\*\*\*Skipped|\((Skipped|Disabled|Not Run)\)|\[  SKIPPED \] [A-Z]' "$log" | grep -vqE "${other}[ .]"; then
    echo "== skipped tests in $dir: a test that does not run fails the suite"
    status=1
  fi
  rm -f "$log"
done
echo "== fuzzing"
scripts/fuzz.sh 30 || status=1
exit $status
