#!/usr/bin/env bash
# An archive whose member names Windows cannot hold as files ("q?.txt") or that the archiver
# could read as switches, list files or case-folded names, and one whose names it would take
# as more than one item ("a" as a file and as a folder, a file "c" beside "c/x.txt"); made on
# the Unix side with 7zz. Usage: make-fixtures.sh BUILD_DIR
set -euo pipefail
top="$1/actions-fixtures"
rm -rf "$top"
mkdir -p "$top/members"
for name in 'q?.txt' 'qa.txt' '-x.txt' '@x.txt' 'Readme.txt' 'README.TXT' 'a' 'b' 'a" "b'; do
  printf 'same content' > "$top/members/$name"
done
(cd "$top/members" && 7zz a -tzip -bso0 -bsp0 ../names.zip -- ./*)
mkdir -p "$top/clash/files" "$top/clash/folders/a" "$top/clash/folders/c"
for name in files/a files/c folders/c/x.txt; do printf 'same content' > "$top/clash/$name"; done
(cd "$top/clash/files" && 7zz a -tzip -bso0 -bsp0 ../../clash.zip a c)
(cd "$top/clash/folders" && 7zz a -tzip -bso0 -bsp0 ../../clash.zip a c/x.txt)
