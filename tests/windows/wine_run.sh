#!/usr/bin/env bash
# Runs one Windows test program under Wine, as CTest's emulator for the test
# programs. Rarely (once in some thousands of starts, with Wine 8 on a busy
# machine) Wine ends a program it starts with a failure status before
# the program has printed a byte, so before any test code ran: a test program
# prints its filter line before its first case. Such a start is made again,
# up to three starts, and each one that failed so is said; a program that
# printed anything, or ended with 0, counts as it ended.
set -o pipefail
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2 3; do
  wine "$@" 2>&1 | tee "$output"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$output" ]; then
    exit "$status"
  fi
  echo "wine_run.sh: wine ended the program with status $status before it printed anything (start $attempt)"
done
exit "$status"
