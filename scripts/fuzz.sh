#!/usr/bin/env bash
# Coverage-guided fuzzing of every parser of outside input (the harnesses in
# fuzz/), built with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# Each harness first replays its committed corpus (fuzz/corpus/<target>/) and
# the committed crash inputs (fuzz/regressions/<target>/), then runs for the
# given time (default 60 s) on new inputs. New corpus entries are kept in
# build-fuzz/corpus/<target>/, crash, leak and time-out inputs in
# build-fuzz/findings/<target>/. Exits non-zero when any harness found
# something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=build-fuzz
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD/..} CCACHE_NOHASHDIR=1

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEPHRON_SANITIZE=ON -DZEPHRON_BENCH=OFF \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DCMAKE_PROJECT_zephron_INCLUDE="$PWD/fuzz/fuzz.cmake" "${launcher[@]}" >/dev/null
fi
cmake --build "$build" --target fuzz_all -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/fuzz/fuzz_*; do
    name=${f##*/fuzz_}
    [ "$name" != make_seeds ] && targets+=("$name")
  done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# CPU seconds (user + system) of every finished child so far, into $cpu
# ("times" must run in this shell, not in a command substitution).
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
child_cpu() {
  times >"$times_file"
  cpu=$(tail -n 1 "$times_file" | awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, p, "m"); n += p[1] * 60 + p[2] } printf "%.0f", n }')
}
status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t findings=$build/findings/$t
  mkdir -p "$corpus" "$findings"
  seeds=()
  for d in fuzz/corpus/$t fuzz/regressions/$t; do [ -d "$d" ] && seeds+=("$d"); done
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  log=$build/findings/$t.log
  echo "== fuzz $t: ${seconds}s"
  # -rss_limit_mb: a parser that needs more than this for a small input is a finding too.
  child_cpu; before=$cpu
  if "$build/fuzz/fuzz_$t" "$corpus" "${seeds[@]}" "${dict[@]}" -max_total_time="$seconds" \
       -timeout=10 -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$findings/" \
       -print_final_stats=1 >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    child_cpu
    echo "== fuzz $t: no finding; $((cpu - before)) CPU s, $runs inputs, corpus $(ls "$corpus" | wc -l)"
  else
    echo "== fuzz $t FAILED (input in $findings/):"; tail -n 60 "$log"
    status=1
  fi
done
exit $status
