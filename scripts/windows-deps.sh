#!/usr/bin/env bash
# Cross-builds the libraries the Windows programs link that Debian has no
# mingw-w64 package of (libsodium, libzstd): from Debian's own source packages,
# of the very versions the Linux build uses, fetched with a private apt
# configuration (Debian's keyring checks them; the system's apt sources stay
# as they are), built as static libraries and installed with their pkg-config
# files under PREFIX (default build-win-deps/prefix). A no-op when that
# version is installed there already.
#   scripts/windows-deps.sh [PREFIX]
set -euo pipefail
cd "$(dirname "$0")/.."

root=$(pwd)/build-win-deps
prefix=${1:-$root/prefix}
host=x86_64-w64-mingw32
packages=(libsodium libzstd)

# The source package versions that match the installed -dev packages.
declare -A version
version[libsodium]=$(dpkg-query -W -f='${Version}' libsodium-dev)
version[libzstd]=$(dpkg-query -W -f='${Version}' libzstd-dev)
stamp="$prefix/.versions"
wanted="libsodium=${version[libsodium]} libzstd=${version[libzstd]}"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ]; then
  exit 0
fi

apt_dir=$root/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts" "$root/src"
cat >"$apt_dir/parts/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_opts=(-q -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/parts"
          -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update >/dev/null

jobs=$(nproc)
for pkg in "${packages[@]}"; do
  work=$root/src/$pkg
  rm -rf "$work"
  mkdir -p "$work"
  # The registry may not carry the sources of a security update: then the
  # release's own version, said aloud.
  if ! (cd "$work" && apt-get "${apt_opts[@]}" source --download-only "$pkg=${version[$pkg]}" >/dev/null 2>&1); then
    rm -rf "$work" && mkdir -p "$work"
    (cd "$work" && apt-get "${apt_opts[@]}" source --download-only -t bookworm "$pkg" >/dev/null)
    echo "note: the sources of $pkg ${version[$pkg]} are not available; built $(basename "$(ls "$work"/*.dsc)" .dsc)"
  fi
  dsc=$(ls "$work"/*.dsc)
  dpkg-source --no-check -x "$dsc" "$work/tree" >/dev/null
done

echo "Cross-building libsodium ${version[libsodium]} for $host"
(cd "$root/src/libsodium/tree" &&
  autoreconf -fi >/dev/null 2>&1 &&
  ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static \
    --disable-dependency-tracking CC=$host-gcc-posix >/dev/null &&
  make -j "$jobs" >/dev/null && make install >/dev/null)

echo "Cross-building libzstd ${version[libzstd]} for $host"
make -C "$root/src/libzstd/tree/lib" -j "$jobs" CC=$host-gcc-posix AR=$host-ar \
  libzstd.a >/dev/null
make -C "$root/src/libzstd/tree/lib" PREFIX="$prefix" CC=$host-gcc-posix AR=$host-ar \
  install-static install-includes install-pc >/dev/null

echo "$wanted" >"$stamp"
