#!/usr/bin/env bash
# Runs every benchmark side by side with its peer, in one run, and prints one
# table: operation, ours, peer, ratio, goal and whether it holds.
#
#   bench/run.sh [--quick] [--doc] [BUILD_DIR]
#
# BUILD_DIR defaults to build/ (configured with benchmarks, the default).
# --quick uses small inputs, to check that everything runs; its ratios mean
# little. --doc also writes the table, the machine and the command into
# docs/performance.md. Run it on an otherwise idle machine: both sides of a
# ratio share the cores with whatever else runs.
#
# Each benchmark prints its rows as
#   RESULT|operation|ours|peer|unit|goal
# where the goal is ">=R" or "<=R" for the ratio ours/peer, or ">=V unit" /
# "<=V unit" for an absolute bound on ours.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0 doc=0 build=build
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --doc) doc=1 ;;
    -*) echo "usage: $0 [--quick] [--doc] [BUILD_DIR]" >&2; exit 2 ;;
    *) build=$arg ;;
  esac
done
[[ -d $build/bench ]] || { echo "no benchmarks in $build: configure and build it first (scripts/setup.sh)" >&2; exit 1; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# run NAME COMMAND...: runs one benchmark, showing its own output on stderr
# and keeping its RESULT rows. A benchmark that fails is reported as such in
# the table instead of ending the run. Each starts after the files the one
# before it wrote are on disk, so that their writeback does not run in its
# time.
failed=()
run() {
  local name=$1; shift
  sync
  echo "== $name: $*" >&2
  if ! "$@" 2>&1 | tee -a "$log" >&2; then
    failed+=("$name")
  fi
}

if [[ $quick -eq 1 ]]; then
  http_mib=64 update_mib=32 cab_mib=32 szdd_mib=16 xml_mib=8
else
  http_mib=1024 update_mib=256 cab_mib=256 szdd_mib=64 xml_mib=64
fi

run transfer "$build/bench/transfer/transfer_bench" "$http_mib"
run update bench/update/run.sh "$build" "$update_mib"
run archive bench/archive/run.sh "$build" "$cab_mib" "$szdd_mib"
run xml "$build/bench/xml/xml_bench" "$xml_mib"
run crc32 "$build/bench/crc32/bench_crc32"

table=$(python3 - "$log" "${failed[@]+"${failed[@]}"}" <<'PY'
import re, sys
rows, failed = [], sys.argv[2:]
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    if not line.startswith("RESULT|"):
        continue
    parts = line.rstrip("\n").split("|")
    if len(parts) != 6:
        continue
    _, op, ours, peer, unit, goal = parts
    try:
        o, p = float(ours), float(peer)
    except ValueError:
        rows.append((op, ours, peer, unit, "-", goal, "no"))
        continue
    ratio = o / p if p else float("inf")
    m = re.fullmatch(r"\s*(>=|<=)\s*([0-9.]+)\s*(x?)\s*", goal)
    a = re.fullmatch(r"\s*(>=|<=)\s*([0-9.]+)\s*([^\s].*)", goal)
    if m:
        value, bound = ratio, float(m.group(2))
        sign = m.group(1)
    elif a:
        value, bound = o, float(a.group(2))
        sign = a.group(1)
    else:
        value = bound = None
    holds = "?" if value is None else ("yes" if (value >= bound if sign == ">=" else value <= bound) else "NO")
    rows.append((op, ours, peer, unit, f"{ratio:.2f}", goal, holds))
print("| Operation | Ours | Peer | Unit | Ratio ours/peer | Goal | Holds |")
print("|---|---:|---:|---|---:|---|---|")
for r in rows:
    print("| " + " | ".join(r) + " |")
for name in failed:
    print(f"| {name}: the benchmark failed | | | | | | NO |")
PY
)
echo
echo "$table"

if [[ $doc -eq 1 ]]; then
  machine="$(lscpu | sed -n 's/^Model name:\s*//p' | head -1), $(nproc) cores, $(free -g | awk '/^Mem:/{print $2}') GiB, Linux $(uname -r)"
  python3 - docs/performance.md "$table" "$machine" "bench/run.sh $*" "$(date -u +%Y-%m-%d)" <<'PY'
import sys
path, table, machine, command, day = sys.argv[1:]
text = open(path, encoding="utf-8").read()
begin, end = "<!-- table -->", "<!-- /table -->"
block = f"{begin}\nRun on {day}, {machine}, with `{command}`:\n\n{table}\n{end}"
head, _, rest = text.partition(begin)
_, _, tail = rest.partition(end)
open(path, "w", encoding="utf-8").write(head + block + tail)
PY
  echo "written to docs/performance.md" >&2
fi
[[ ${#failed[@]} -eq 0 ]]
