#!/usr/bin/env bash
# The main job: set up and build, then run one check pass of the updater's
# headless front end in a sandbox: a registry with three installed products
# (executables stamped with older versions), an update location on disk with
# their control files, the application-data and documents folders. Prints
# the product rows, the final status and both logs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
bin=$PWD/build
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/zephron-run-XXXXXX")
export ZEPHRON_REGISTRY_DIR="$sandbox/registry"
export ZEPHRON_MUTEX_DIR="$sandbox/mutex"
appdata="$sandbox/AppData"
documents="$sandbox/Documents"
updates="$sandbox/updates"
mkdir -p "$appdata/Corvexis" "$documents" "$updates"

reg() { "$bin/tools/zephron-reg/zephron-reg" "$@" >/dev/null; }
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v AppData /d "$appdata" /f
reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Personal /d "$documents" /f

# install PRODUCT EXECUTABLE FOLDER INSTALLED_VERSION PUBLISHED_VERSION
install_product() {
  local product=$1 exe=$2 folder=$3 installed=$4 published=$5
  local dir="$sandbox/Programs/$product"
  mkdir -p "$dir" "$updates/$folder"
  cp /bin/true "$dir/$exe"
  "$bin/tools/zephron-stamp/zephron-stamp" --output "$sandbox/block.bin" --file-version "$installed" \
    --product-name "$product" --description "$product"
  objcopy --remove-section=.zephron.version --add-section .zephron.version="$sandbox/block.bin" \
    --set-section-flags .zephron.version=noload,readonly "$dir/$exe"
  reg add "HKLM\\Software\\Corvexis\\$product" /v InstallPath /d "$dir" /f
  reg add "HKLM\\Software\\Corvexis\\$product" /v UpdateURL /d "$updates" /f
  printf '[update]\r\ndescr=%s %s\r\nlocalversion=%s\r\nnewversion=%s\r\n' \
    "$product" "$published" "$exe" "$published" > "$updates/$folder/$folder.INF"
}
install_product "TesselServer" "TesselServer.exe" "tesselserver" 1.0.0.0 1.2.0.0
install_product "Vardel Quillon" "Quillon.exe" "quillon" 3.1.0.4 3.1.0.4
install_product "Zephron" "Zephron.exe" "zephron" 1.0.0.1 1.1.0.0

status=0
"$bin/app/cli/zephron-cli" check || status=$?
echo "(exit status $status: 0 nothing new, 2 new versions, 1 error)"
echo "--- updater log: $appdata/Corvexis/Corvexis Zephronzephron.log"
tr -d '\r' < "$appdata/Corvexis/Corvexis Zephronzephron.log"
echo "--- engine log: $documents/ZEPHRON.LOG"
tr -d '\r' < "$documents/ZEPHRON.LOG"
echo "--- sandbox: $sandbox"
