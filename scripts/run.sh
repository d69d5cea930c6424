#!/usr/bin/env bash
# The main job: set up and build, then run the engine demonstration in a
# sandbox and show its log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/zephron-run-XXXXXX")
export ZEPHRON_REGISTRY_DIR="$sandbox/registry"
export XDG_DOCUMENTS_DIR="$sandbox/Documents"
mkdir -p "$XDG_DOCUMENTS_DIR"
build/tools/zephron-demo/zephron-demo
echo "--- $XDG_DOCUMENTS_DIR/ZEPHRON.LOG"
cat "$XDG_DOCUMENTS_DIR/ZEPHRON.LOG"
