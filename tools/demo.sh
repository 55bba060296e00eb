#!/usr/bin/env bash
# The main job: builds the system and runs it on a fresh emulated machine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh release
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
export PLAT_MACHINE=$machine
build/bin/plat-selfcheck
