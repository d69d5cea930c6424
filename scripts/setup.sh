#!/usr/bin/env bash
# Installs every Debian package the project needs (a no-op when all are
# present), then configures and builds the normal build (build/) and, with
# --sanitize or --all, the AddressSanitizer + UndefinedBehaviorSanitizer build
# (build-asan/). --windows installs the cross compilers and Wine as well and
# cross-builds the Windows programs and their tests (build-win/).
set -euo pipefail
cd "$(dirname "$0")/.."

want_normal=1
want_asan=0
want_windows=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) want_normal=0; want_asan=1 ;;
    --all) want_asan=1 ;;
    --windows) want_windows=1 ;;
    *) echo "usage: $0 [--sanitize|--all] [--windows]" >&2; exit 2 ;;
  esac
done

lists=(scripts/packages.txt)
[ "$want_windows" -eq 1 ] && lists+=(scripts/packages-windows.txt)
mapfile -t packages < <(cat "${lists[@]}" | grep -vE '^\s*(#|$)')
missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's nginx package starts a system nginx on port 80 when it is
# installed; the posting tests need port 80 of 127.0.0.2 for their own server.
if [ -s /run/nginx.pid ] && kill -0 "$(cat /run/nginx.pid)" 2>/dev/null; then
  echo "Stopping the system nginx (it holds port 80)"
  /usr/sbin/nginx -s quit 2>/dev/null || kill "$(cat /run/nginx.pid)" 2>/dev/null || true
  command -v update-rc.d >/dev/null && update-rc.d nginx disable >/dev/null 2>&1 || true
fi

jobs=$(nproc)
build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
if [ "$want_normal" -eq 1 ]; then build build; fi
if [ "$want_asan" -eq 1 ]; then build build-asan -DZEPHRON_SANITIZE=ON -DZEPHRON_BENCH=OFF; fi
if [ "$want_windows" -eq 1 ]; then
  scripts/windows-deps.sh
  build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
fi
