#!/usr/bin/env bash
# Times the patcher on a large file: making a patch between a file and a copy
# with scattered changes, and applying it.
#   bench/patcher/run.sh [BUILD_DIR] [MIB]
# The file is MIB MiB (default 100) of the machine's own libraries and
# programs, so it looks like the binaries patches are made for; the copy has
# 200 changes of 1 to 64 bytes spread over it and 4 KiB inserted.
# Prints wall and CPU time, peak RSS of each step and the patch's size.
set -euo pipefail
build=${1:-build}
mib=${2:-100}
patcher="$build/tools/patcher/patcher"
[[ -x $patcher ]] || { echo "build the patcher in $build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size=$(( mib * 1024 * 1024 ))
find /usr/lib /usr/bin -type f -size +64k 2>/dev/null | sort | xargs cat 2>/dev/null | head -c "$size" > "$work/old" || true
if (( $(stat -c %s "$work/old") < size )); then
  head -c "$size" /dev/urandom > "$work/old"
fi
python3 - "$work/old" "$work/new" <<'PY'
import random, sys
data = bytearray(open(sys.argv[1], 'rb').read())
rng = random.Random(7)
for _ in range(200):
    n = rng.randint(1, 64)
    at = rng.randrange(len(data) - n)
    data[at:at + n] = rng.randbytes(n)
middle = len(data) // 2
data[middle:middle] = rng.randbytes(4096)
open(sys.argv[2], 'wb').write(data)
PY
cp "$work/old" "$work/target"

# measure LABEL CMD...: wall, CPU (user + system) and peak RSS of one run.
measure() {
  local label=$1
  shift
  python3 - "$label" "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[2:], check=True, stdout=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{sys.argv[1]}: wall {wall:.2f} s, cpu {usage.ru_utime + usage.ru_stime:.2f} s, peak RSS {usage.ru_maxrss // 1024} MiB")
PY
}

echo "== patcher on ${mib} MiB ($(stat -c %s "$work/old") -> $(stat -c %s "$work/new") bytes)"
measure "make " "$patcher" make "$work/old" "$work/new" "$work/x.pat"
echo "patch: $(stat -c %s "$work/x.pat") bytes"
measure "apply" "$patcher" "$work/x.pat" "$work/target"
cmp -s "$work/target" "$work/new" && echo "result: identical to the new file" || { echo "result differs" >&2; exit 1; }
