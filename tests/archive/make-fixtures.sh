#!/usr/bin/env bash
# A scratch folder holding a link to a folder outside it, which only the Unix side can make
# under Wine. Usage: make-fixtures.sh BUILD_DIR
set -euo pipefail
top="$1/scratch-fixture"
rm -rf "$top"
mkdir -p "$top/outside" "$top/scratch/nested/deeper"
printf 'must survive' > "$top/outside/keep.txt"
printf 'old capture' > "$top/scratch/Veltrimox.txt"
printf 'read only' > "$top/scratch/nested/deeper/ro.txt"
ln -s ../outside "$top/scratch/link"

# A temporary folder whose "Veltrimox" scratch folder is itself a link to somebody's folder.
mkdir -p "$top/linked-temp" "$top/linked-target"
printf 'not scratch' > "$top/linked-target/precious.txt"
ln -s ../linked-target "$top/linked-temp/Veltrimox"
