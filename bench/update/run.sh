#!/usr/bin/env bash
# An update pass against the sum of its parts: a release of the given size
# (MiB, default 256) published as MSZIP cabinets (gcab -z) on a local nginx,
# installed by `zephron-cli update --yes` into a sandboxed installation, and
# the same files fetched by the curl program and unpacked by cabextract, in
# the same run. Each side runs three times, alternating; the best wall time
# and the lowest CPU time (user + system) of each count.
#   bench/update/run.sh [BUILD_DIR] [MIB]
# Ends with one line per figure: RESULT|<operation>|<ours>|<peer>|<unit>|<goal>
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mib=${2:-256}
cli="$build/app/cli/zephron-cli"
reg="$build/tools/zephron-reg/zephron-reg"
gen="$build/bench/archive/archive_bench_driver"
for tool in gcab cabextract curl nginx python3; do
  command -v "$tool" >/dev/null || [[ -x /usr/sbin/$tool ]] || { echo "missing $tool" >&2; exit 1; }
done
for program in "$cli" "$reg" "$gen"; do
  [[ -x $program ]] || { echo "build $(basename "$program") in $build first" >&2; exit 1; }
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d "${TMPDIR:-/tmp}/zephron-update-bench-XXXXXX")
nginx_pid=""
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The sandbox: a registry, documents and application-data folders of its own.
export ZEPHRON_REGISTRY_DIR="$work/registry"
export ZEPHRON_MUTEX_DIR="$work/mutex"
export TMPDIR="$work/tmp"
mkdir -p "$work/AppData" "$work/Documents" "$TMPDIR" "$work/www/updates/tesselserver" "$work/nginx/logs"
"$reg" add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v AppData /d "$work/AppData" /f >/dev/null
"$reg" add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Personal /d "$work/Documents" /f >/dev/null

# The release: eight files of semi-compressible data, one cabinet each.
parts=8
location="$work/www/updates/tesselserver"
mkdir -p "$work/release"
part_bytes=$(( mib * 1024 * 1024 / parts ))
cabs=()
for i in $(seq 1 $parts); do
  "$gen" gen "$part_bytes" "$work/release/part$i.bin" "$i"
  (cd "$work/release" && gcab -c -z "$location/part$i.cab" "part$i.bin")
  rm "$work/release/part$i.bin"
  cabs+=("part$i.cab")
done
echo "release: ${mib} MiB in $parts files, cabinets $(du -sm "$location" | cut -f1) MiB"

# The control file: a larger program by size, so that every run finds the
# release new, and the cabinets to fetch and unpack.
install="$work/Programs/TesselServer"
mkdir -p "$install"
printf 'old program\n' > "$install/TesselServer.exe"
{
  printf '[update]\r\ndescr=TesselServer release\r\nlocalversion=TesselServer.exe\r\nnewsize=999999\r\n'
  printf 'newversion=2.0.0.0\r\n[files]\r\ncount=%d\r\n' "$parts"
  for i in $(seq 1 $parts); do printf '[file%d]\r\nurl=part%d.cab\r\ndescr=Part %d\r\ncompressed=1\r\n' "$i" "$i" "$i"; done
} > "$location/tesselserver.INF"
# A base URL that answers with a body is used as it is.
printf 'updates\n' > "$work/www/updates/index.html"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
{
  [[ $(id -u) == 0 ]] && echo "user root root;"
  cat <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 64; }
http {
  default_type application/octet-stream;
  access_log off;
  sendfile on;
  keepalive_timeout 60;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
} > "$work/nginx/nginx.conf"
"$nginx_bin" -p "$work/nginx" -e "$work/nginx/logs/error.log" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port/updates/" && break; sleep 0.1; done
base="http://127.0.0.1:$port/updates/"
"$reg" add 'HKLM\Software\Corvexis\TesselServer' /v InstallPath /d "$install" /f >/dev/null
"$reg" add 'HKLM\Software\Corvexis\TesselServer' /v UpdateURL /d "$base" /f >/dev/null

# Both sides start from the same state: the installation holds only its
# program, the peer's folder is empty, nothing waits to be written back.
reset() {
  find "$install" -mindepth 1 ! -name TesselServer.exe -delete
  rm -rf "$work/peer" && mkdir "$work/peer"
  sync
}
ours() {
  "$cli" update --yes >"$work/cli.out" 2>&1 || { cat "$work/cli.out" >&2; return 1; }
  for i in $(seq 1 $parts); do [[ -f $install/part$i.bin ]] || { echo "part$i.bin not installed" >&2; return 1; }; done
  (cd "$install" && cksum part*.bin) > "$work/ours.sums"
}
peer() {
  local args=()
  for cab in "${cabs[@]}"; do args+=(-o "$work/peer/$cab" "${base}tesselserver/$cab"); done
  curl -s -f "${args[@]}"
  (cd "$work/peer" && cabextract -q "${cabs[@]}" && rm -f "${cabs[@]}")
}
# timed FUNCTION: "WALL CPU" of one run, in seconds.
timed() {
  local times
  times=$( { TIMEFORMAT='%R %U %S'; time "$1" >/dev/null 2>&1; } 2>&1 ) || { echo "failed: $1" >&2; exit 1; }
  awk '{printf "%s %.3f", $1, $2 + $3}' <<<"$times"
}
lower() { awk "BEGIN{print ($1 < $2 ? $1 : $2)}"; }

best_ours_wall=999999 best_ours_cpu=999999 best_peer_wall=999999 best_peer_cpu=999999
for round in 1 2 3; do
  reset
  read -r w c <<<"$(timed ours)"
  best_ours_wall=$(lower "$w" "$best_ours_wall"); best_ours_cpu=$(lower "$c" "$best_ours_cpu")
  reset
  read -r pw pc <<<"$(timed peer)"
  best_peer_wall=$(lower "$pw" "$best_peer_wall"); best_peer_cpu=$(lower "$pc" "$best_peer_cpu")
  echo "round $round: zephron-cli update ${w} s (cpu ${c} s), curl + cabextract ${pw} s (cpu ${pc} s)"
done
# The installed files are the ones the peer unpacked.
(cd "$work/peer" && cksum part*.bin) | cmp - "$work/ours.sums"
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }
echo "update pass: ${best_ours_wall} s (cpu ${best_ours_cpu} s), curl + cabextract: ${best_peer_wall} s (cpu ${best_peer_cpu} s), ratio $(ratio "$best_ours_wall" "$best_peer_wall") (cpu $(ratio "$best_ours_cpu" "$best_peer_cpu"))"
size=$([[ $(( mib % 1024 )) == 0 ]] && echo "$(( mib / 1024 )) GiB" || echo "$mib MiB")
echo "RESULT|update pass, $size release in cabinets over HTTP (s)|$best_ours_wall|$best_peer_wall|s|<=1.2"
echo "RESULT|update pass, $size release in cabinets over HTTP, CPU (s)|$best_ours_cpu|$best_peer_cpu|s|<=1.2"
