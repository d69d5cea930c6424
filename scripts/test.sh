#!/usr/bin/env bash
# The whole test suite: set-up and build, then every test in the normal build
# and in the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --all
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for dir in build build-asan; do
  echo "== tests in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600 || status=1
done
exit $status
