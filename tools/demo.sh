#!/usr/bin/env bash
# The main job: builds the system and runs it on a fresh emulated machine with
# two simulated boards, then grabs frames from every camera through the SDK
# (BMP files in build/sdk-images) and through the board library (PGM images
# in build/grab-images).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh release
bin=$PWD/build/bin
machine=$(mktemp -d)
export PLAT_MACHINE=$machine
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill -TERM "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null || true
  rm -rf "$machine"
}
trap cleanup EXIT

"$bin/plat-selfcheck"

# The kernel host runs in the background until the job ends; its first line
# says when every board has started.
coproc HOST { exec "$bin/kernel-host" --board FolvantX4Full --board FolvantX4Dual; }
host_pid=$HOST_PID
read -r -t 30 ready <&"${HOST[0]}" || true
if [ "${ready:-}" != "kernel-host ready" ]; then
  echo "the kernel host did not start" >&2
  exit 1
fi
"$bin/plat-boards"

# The board library, as the first process of the machine: it initialises every
# board and prints what it found. Its options file lives in the driver folder.
export YATFOLVA4XDIR="$machine/drives/c/Program Files/Habrix/Tramond-CL_RZ6"
mkdir -p "$YATFOLVA4XDIR"
touch "$YATFOLVA4XDIR/Yat_Tramond-CL_RZ6_Config.ini"
"$bin/pardow-boards"

# The main job through the SDK: the installer's registration of the
# device-control module, then a client of "QelApi.dll" that grabs three frames
# from every camera of every board with the transfer commands and saves each
# as a BMP file.
"$bin/quillet-grab" --register
sdk_images=$PWD/build/sdk-images
rm -rf "$sdk_images"
mkdir -p "$sdk_images"
"$bin/quillet-grab" "$sdk_images" 3
echo "images of the grab through the SDK: $sdk_images"

# A second example, one level down: the same grab through the board
# library's acquisition exports, written as PGM images.
images=$PWD/build/grab-images
rm -rf "$images"
mkdir -p "$images"
"$bin/pardow-grab" "$images" 3
echo "images of the grab through the board library: $images"
