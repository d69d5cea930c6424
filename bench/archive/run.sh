#!/usr/bin/env bash
# Side-by-side timing of our cabinet extraction and LZ expansion against the
# cabextract and msexpand programs, on inputs generated here:
#   bench/archive/run.sh [BUILD_DIR] [CAB_MIB] [SZDD_MIB]
# Prints the best wall and CPU time of three runs of each (one of msexpand, which is slow), the ratio ours/peer, and our peak RSS
# for a small and the full-size input (it must not grow with the input). Then
# our SZDD compressor against the frozen copy of the one before it
# (szdd_compress_bench), and last the RESULT lines of both (throughputs from
# the CPU times).
set -euo pipefail
build=${1:-build}
cab_mib=${2:-256}
szdd_mib=${3:-64}
driver="$build/bench/archive/archive_bench_driver"
compress_bench="$build/bench/archive/szdd_compress_bench"
compress="$build/tools/zephron-compress/zephron-compress"
for tool in gcab cabextract msexpand; do command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }; done
[[ -x $driver && -x $compress && -x $compress_bench ]] ||
  { echo "build archive_bench_driver, szdd_compress_bench and zephron-compress in $build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# best_of RUNS CMD...: "WALL CPU", the lowest wall time and the lowest
# user+system time of RUNS runs, in seconds. The machine is shared, so the CPU
# time is the steadier of the two.
best_of() {
  local best="" cpu="" runs=$1
  shift
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir "$work/out"
    sync
    local times w c
    times=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 ) || { echo "failed: $*" >&2; exit 1; }
    w=$(awk '{print $1}' <<<"$times")
    c=$(awk '{printf "%.3f", $2 + $3}' <<<"$times")
    if [[ -z $best ]] || awk "BEGIN{exit !($w < $best)}"; then best=$w; fi
    if [[ -z $cpu ]] || awk "BEGIN{exit !($c < $cpu)}"; then cpu=$c; fi
  done
  echo "$best $cpu"
}
# min_pair "WALL CPU" "WALL CPU": the element-wise lower of two results.
min_pair() {
  read -r aw ac <<<"$1"
  read -r bw bc <<<"$2"
  awk "BEGIN{printf \"%s %s\", ($aw < $bw ? $aw : $bw), ($ac < $bc ? $ac : $bc)}"
}
# compare LABEL_OURS "WALL CPU" LABEL_PEER "WALL CPU"
compare() {
  read -r ow oc <<<"$2"
  read -r pw pc <<<"$4"
  echo "$1: ${ow} s (cpu ${oc} s)   $3: ${pw} s (cpu ${pc} s)   ratio ours/peer: wall $(ratio "$ow" "$pw"), cpu $(ratio "$oc" "$pc")"
}
# Our peak RSS in KiB, as the driver reads it from getrusage.
peak_kib() {
  rm -rf "$work/out" && mkdir "$work/out"
  "$driver" "$@" | sed -n 's/.*peak RSS \([0-9]*\) KiB.*/\1/p'
}
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }

echo "== Cabinet: ${cab_mib} MiB in 4 files, MSZIP (gcab -z)"
mkdir "$work/in"
part=$(( cab_mib * 1024 * 1024 / 4 ))
for i in 1 2 3 4; do "$driver" gen "$part" "$work/in/part$i.bin" "$i"; done
(cd "$work/in" && gcab -c -z "$work/big.cab" part1.bin part2.bin part3.bin part4.bin)
"$driver" gen $(( 8 * 1024 * 1024 )) "$work/in/small.bin" 9
(cd "$work/in" && gcab -c -z "$work/small.cab" small.bin)
rm -rf "$work/in"
echo "cabinet size: $(du -m "$work/big.cab" | cut -f1) MiB"
# Runs alternate between the two, so neither side always meets the write-back
# of the other's output.
ours="" peer=""
for _ in 1 2 3; do
  o=$(best_of 1 "$driver" cab "$work/big.cab" "$work/out/")
  p=$(best_of 1 cabextract -q -d "$work/out" "$work/big.cab")
  ours=$([[ -z $ours ]] && echo "$o" || min_pair "$ours" "$o")
  peer=$([[ -z $peer ]] && echo "$p" || min_pair "$peer" "$p")
done
compare ExtractCabinet "$ours" cabextract "$peer"
echo "peak RSS ExtractCabinet: 8 MiB cabinet $(peak_kib cab "$work/small.cab" "$work/out/") KiB, ${cab_mib} MiB cabinet $(peak_kib cab "$work/big.cab" "$work/out/") KiB"
rm -f "$work/big.cab" "$work/small.cab"

echo "== SZDD: ${szdd_mib} MiB (zephron-compress)"
"$driver" gen $(( szdd_mib * 1024 * 1024 )) "$work/data.bin" 5
compress_time=$(best_of 1 "$compress" "$work/data.bin" "$work/data.bi_")
echo "zephron-compress: ${compress_time% *} s"
"$driver" gen $(( 4 * 1024 * 1024 )) "$work/small.bin" 6
"$compress" "$work/small.bin" "$work/small.bi_"
rm -f "$work/data.bin" "$work/small.bin"
echo "compressed size: $(du -m "$work/data.bi_" | cut -f1) MiB"
ours=$(best_of 3 "$driver" szdd "$work/data.bi_" "$work/out/data.bin")
# msexpand does a system call per byte: one run of it is plenty.
peer=$(best_of 1 sh -c "msexpand < '$work/data.bi_' > '$work/out/data.bin'")
compare LZCopy "$ours" msexpand "$peer"
echo "peak RSS LZCopy: 4 MiB file $(peak_kib szdd "$work/small.bi_" "$work/out/small.bin") KiB, ${szdd_mib} MiB file $(peak_kib szdd "$work/data.bi_" "$work/out/data.bin") KiB"
read -r _ lz_ours_cpu <<<"$ours"
read -r _ lz_peer_cpu <<<"$peer"
rm -rf "$work/out" "$work/data.bi_" "$work/small.bi_"

echo "== SZDD compression: ours against the compressor before it"
"$compress_bench" "$szdd_mib" 16 | tee "$work/compress.txt" | grep -v '^RESULT|'
mbps() { awk "BEGIN{printf \"%.1f\", $1 * 1.048576 / $2}"; }
echo "RESULT|LZ expansion ${szdd_mib} MiB|$(mbps "$szdd_mib" "$lz_ours_cpu")|$(mbps "$szdd_mib" "$lz_peer_cpu")|MB/s|>=300 MB/s"
grep '^RESULT|' "$work/compress.txt"
