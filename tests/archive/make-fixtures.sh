#!/usr/bin/env bash
# A tree of every kind of file archive expansion meets, made with the native 7zz.
set -euo pipefail
top="$1/expansion-tree" work="$1/expansion-work" && rm -rf "$top" "$work"
long="$(printf 'd%.0s' {1..100})/$(printf 'e%.0s' {1..100})/$(printf 'f%.0s' {1..94}).txt"  # 300 units
mkdir -p "$top/sub/deeper" "$work/docs" "$work/emptydir" "$work/names/$(dirname "$long")"
pack() { (cd "$work" && 7zz a -bso0 -bsp0 "$@"); }
printf 'alpha' > "$top/a.txt" && printf 'alpha' > "$work/docs/a.txt" && printf 'gamma' | tee "$work/docs/c1.txt" > "$work/docs/c2.txt"
pack -tzip "$top/set.zip" docs emptydir && pack -ttar "$top/sub/plain.tar" docs
printf 'accent' > "$work/names/é.txt" && printf 'japan' > "$work/names/日本.txt" && printf 'long' > "$work/names/$long"
(cd "$work/names" && 7zz a -bso0 -bsp0 "$top/sub/日本語.7z" ./*)
printf 'zipped text\n' | gzip -c > "$top/sub/g.txt.gz" && printf 'not an archive' > "$top/fake.zip" && head -c 200 "$top/set.zip" > "$top/damaged.zip"
pack -tzip -psecret "$top/sub/locked-content.zip" docs/a.txt && pack -t7z -psecret -mhe=on "$top/sub/locked-names.7z" docs/a.txt
head -c 200000 /dev/urandom > "$work/big.bin" && pack -t7z -mx0 -v120k "$top/sub/deeper/x.7z" big.bin
# Names that differ only in letter case, which one run must never hold; one held open by the test.
pack -tzip "$top/sub/Case.zip" docs/c1.txt && pack -tzip "$top/sub/case.zip" docs/a.txt && pack -tzip "$top/sub/held.zip" docs/a.txt
for i in $(seq 1 30); do printf 'loose %s' "$i" > "$top/sub/deeper/f$i.txt"; done
rm -rf "$work"
