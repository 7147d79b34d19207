#!/usr/bin/env bash
# A tree of every kind of file archive expansion meets, made with the native 7zz.
set -euo pipefail
top="$1/expansion-tree" work="$1/expansion-work" && rm -rf "$top" "$work"
mkdir -p "$top/sub/deeper" "$work/docs" "$work/emptydir"
pack() { (cd "$work" && 7zz a -bso0 -bsp0 "$@"); }
printf 'alpha' | tee "$top/a.txt" > "$work/docs/a.txt" && printf 'gamma' | tee "$work/docs/c1.txt" > "$work/docs/c2.txt"
printf 'accent' > "$work/é.txt" && pack -tzip "$top/set.zip" docs emptydir && pack -t7z "$top/sub/日本語.7z" é.txt
printf 'not an archive' > "$top/fake.zip" && head -c 200 "$top/set.zip" > "$top/damaged.zip"
pack -tzip -psecret "$top/sub/locked-content.zip" docs/a.txt && pack -t7z -psecret -mhe=on "$top/sub/locked-names.7z" docs/a.txt
head -c 200000 /dev/urandom > "$work/big.bin" && pack -t7z -mx0 -v120k "$top/sub/deeper/x.7z" big.bin  # two volumes
# Names that differ only in letter case, which one run must never hold.
pack -tzip "$top/sub/Case.zip" docs/c1.txt && pack -tzip "$top/sub/case.zip" docs/a.txt
