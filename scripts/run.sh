#!/usr/bin/env bash
# The main job, as a user meets it: set up and build, then, in a sandbox (a
# registry of its own, documents and application-data folders), three
# installed products on older releases and an update location on disk with
# their new ones. A check pass reports them; `zephron-cli update --yes`
# installs them: a cabinet, an LZ-compressed file, a plain program file, and
# for Vardel Quillon an application component and a patch that the setup
# program puts in place after the updater has ended, restarting the
# application. A second check then finds nothing new. Prints the rows, what
# changed on disk and both logs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
bin=$PWD/build
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/zephron-run-XXXXXX")
export ZEPHRON_REGISTRY_DIR="$sandbox/registry"
export ZEPHRON_MUTEX_DIR="$sandbox/mutex"
export TMPDIR="$sandbox/tmp"
appdata="$sandbox/AppData"
documents="$sandbox/Documents"
updates="$sandbox/updates"
mkdir -p "$appdata" "$documents" "$updates" "$TMPDIR"

reg() { "$bin/tools/zephron-reg/zephron-reg" "$@" >/dev/null; }
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v AppData /d "$appdata" /f
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Personal /d "$documents" /f

# stamp FILE VERSION PRODUCT: gives the executable a version resource.
stamp() {
  "$bin/tools/zephron-stamp/zephron-stamp" --output "$sandbox/block.bin" --file-version "$2" \
    --product-name "$3" --description "$3"
  objcopy --remove-section=.zephron.version --add-section .zephron.version="$sandbox/block.bin" \
    --set-section-flags .zephron.version=noload,readonly "$1"
}
# register PRODUCT: its installation folder and the update location.
register() {
  reg add "HKLM\\Software\\Corvexis\\$1" /v InstallPath /d "$sandbox/Programs/$1" /f
  reg add "HKLM\\Software\\Corvexis\\$1" /v UpdateURL /d "$updates" /f
}
mkdir -p "$sandbox/Programs/TesselServer" "$sandbox/Programs/Vardel Quillon" "$sandbox/Programs/Zephron" \
  "$updates/tesselserver" "$updates/quillon" "$updates/zephron"

# TesselServer 1.0.0.0 -> 1.2.0.0: a new program (by version), a cabinet of
# documents and an LZ-compressed data file.
cp /bin/true "$sandbox/Programs/TesselServer/TesselServer.exe"
stamp "$sandbox/Programs/TesselServer/TesselServer.exe" 1.0.0.0 TesselServer
cp /bin/true "$updates/tesselserver/TesselServer.exe"
stamp "$updates/tesselserver/TesselServer.exe" 1.2.0.0 TesselServer
mkdir -p "$sandbox/cab" && printf 'TesselServer 1.2 manual\n' > "$sandbox/cab/manual.txt"
(cd "$sandbox/cab" && gcab -c "$updates/tesselserver/docs.cab" manual.txt)
seq 1 2000 | sed 's/^/record /' > "$sandbox/records.dat"
"$bin/tools/zephron-compress/zephron-compress" "$sandbox/records.dat" "$updates/tesselserver/records.da_"
cat > "$updates/tesselserver/tesselserver.INF" <<INF
[update]
descr=TesselServer 1.2
localversion=TesselServer.exe
newversion=1.2.0.0
[files]
count=3
[file1]
url=TesselServer.exe
descr=Server program
localversion=TesselServer.exe
newversion=1.2.0.0
[file2]
url=docs.cab
descr=Manual
compressed=1
[file3]
url=records.da_
descr=Records
compressed=1
INF
register TesselServer

# Vardel Quillon: its program (an application component, replaced by the
# setup program, which restarts it) and a patch of its engine library.
quillon="$sandbox/Programs/Vardel Quillon"
printf '#!/bin/sh\nexit 0\n' > "$quillon/Quillon.exe"
printf '#!/bin/sh\necho "Quillon 3.2 started with: $*" > "$(dirname "$0")/started.txt"\n' > "$updates/quillon/Quillon.exe_NEW"
chmod +x "$quillon/Quillon.exe" "$updates/quillon/Quillon.exe_NEW"
seq 1 5000 | sed 's/^/engine line /' > "$quillon/engine.exe"
seq 1 5000 | sed 's/^/engine line /; 2500s/.*/engine line 2500, mended/' > "$sandbox/engine-new.exe"
"$bin/tools/patcher/patcher" make "$quillon/engine.exe" "$sandbox/engine-new.exe" "$updates/quillon/engine.pat"
cat > "$updates/quillon/quillon.INF" <<INF
[update]
descr=Vardel Quillon 3.2
localversion=Quillon.exe
newsize=$(stat -c %s "$updates/quillon/Quillon.exe_NEW")
newversion=3.2
[application]
appupdate=1
appname=Quillon.exe
appparam=--after-update
appcomps=Quillon.exe_NEW engine.pat
[files]
count=2
[file1]
url=Quillon.exe_NEW
descr=Program
[file2]
url=engine.pat
descr=Engine library
INF
register "Vardel Quillon"

# Zephron: current.
cp /bin/true "$sandbox/Programs/Zephron/Zephron.exe"
stamp "$sandbox/Programs/Zephron/Zephron.exe" 1.1.0.0 Zephron
printf '[update]\r\nlocalversion=Zephron.exe\r\nnewversion=1.1.0.0\r\n' > "$updates/zephron/zephron.INF"
register Zephron

listing() { (cd "$sandbox/Programs" && find . -type f ! -name 'zephronsetup*' -printf '%p  %s bytes\n' | sort); }

echo "=== check"
status=0
"$bin/app/cli/zephron-cli" check || status=$?
echo "(exit status $status: 0 nothing new, 2 new versions, 1 error)"
listing > "$sandbox/before.txt"

echo "=== update --yes"
status=0
"$bin/app/cli/zephron-cli" update --yes || status=$?
echo "(exit status $status)"
# The setup program finishes after the updater has ended.
for _ in $(seq 1 100); do [ -f "$quillon/started.txt" ] && break; sleep 0.1; done

echo "=== what changed on disk"
listing > "$sandbox/after.txt"
diff "$sandbox/before.txt" "$sandbox/after.txt" || true
echo "restarted application: $(cat "$quillon/started.txt" 2>/dev/null || echo 'not restarted')"
echo "patched line: $(sed -n 2500p "$quillon/engine.exe")"

echo "=== check again"
status=0
"$bin/app/cli/zephron-cli" check || status=$?
echo "(exit status $status)"

echo "--- updater log: $appdata/Corvexis/Corvexis Zephronzephron.log"
tr -d '\r' < "$appdata/Corvexis/Corvexis Zephronzephron.log"
echo "--- engine log: $documents/ZEPHRON.LOG"
tr -d '\r' < "$documents/ZEPHRON.LOG"
echo "--- sandbox: $sandbox"
