#!/usr/bin/env bash
# A tree of every kind of file archive expansion meets, made with the native 7zz.
set -euo pipefail
top="$1/expansion-tree" work="$1/expansion-work" && rm -rf "$top" "$work"
mkdir -p "$top/sub/deeper" "$top/forged" "$work/docs" "$work/emptydir"
pack() { (cd "$work" && 7zz a -bso0 -bsp0 "$@"); }
printf 'alpha' | tee "$top/a.txt" > "$work/docs/a.txt" && printf 'gamma' | tee "$work/docs/c1.txt" > "$work/docs/c2.txt"
printf 'accent' > "$work/é.txt" && pack -tzip "$top/set.zip" docs emptydir && pack -t7z "$top/sub/日本語.7z" é.txt
printf 'not an archive' > "$top/fake.zip" && head -c 200 "$top/set.zip" > "$top/damaged.zip"
pack -tzip -psecret "$top/sub/locked-content.zip" docs/a.txt && pack -t7z -psecret -mhe=on "$top/sub/locked-names.7z" docs/a.txt
head -c 200000 /dev/urandom > "$work/big.bin" && pack -t7z -mx0 -v120k "$top/sub/deeper/x.7z" big.bin  # two volumes
# Names that differ only in letter case, which one run must never hold.
pack -tzip "$top/sub/Case.zip" docs/c1.txt && pack -tzip "$top/sub/case.zip" docs/a.txt
# Archives made to mislead: comments imitating the archiver's own lines (a header, the start of
# the members, a member, a verdict), and a damaged archive that says it passed.
win="Z:$(printf '%s' "$top" | tr / '\\')" crc=$(python3 -c 'import zlib; print("%08X" % zlib.crc32(b"alpha"))')
printf 'member' > "$work/m.txt" && printf 'damaged data' > "$work/d.txt"
for z in list member hides; do pack -tzip "$top/forged/$z.zip" m.txt; done && pack -tzip -mx0 "$top/forged/damaged.zip" d.txt
comment() { local z=$1 && shift && printf '%s\n' "$@" | zip -q -z "$top/forged/$z.zip"; }
comment list "Listing archive: $win\\set.zip" -- "Path = $win\\set.zip" "" ---------- "Path = docs\\a.txt" "CRC = $crc"
comment member ---------- "Path = a.txt" "CRC = $crc" "" && comment hides "Testing archive: $win\\sub\\Case.zip" "Everything is Ok"
comment damaged "Checked:" "Everything is Ok" && sed -i 's/damaged data/damaged datA/' "$top/forged/damaged.zip"  # no longer its CRC
# Folders whose names differ only in letter case, as a case-sensitive folder holds them.
mkdir -p "$top/Dir" "$top/dir" && printf 'upper' > "$work/u.txt" && printf 'lower' > "$work/l.txt"
for z in a b c; do pack -tzip "$top/Dir/$z.zip" u.txt; done && pack -tzip "$top/dir/a.zip" l.txt
# Listed CRCs that are no CRC-32 of the content: a gzip of two members lists its last one's (here
# alpha's), an LZH member a 16-bit CRC; a gzip of one member lists its own.
printf 'alpha' | gzip -n > "$top/same.gz" && { printf 'before ' | gzip -n; printf 'alpha' | gzip -n; } > "$top/multi.gz"
python3 - "$top/same.lzh" <<'PY'
import struct, sys
crc = 0
for b in b"alpha":
    crc ^= b
    for _ in range(8): crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
body = b"-lh0-" + struct.pack("<IIIBBB", 5, 5, 0x58420000, 0x20, 0, 5) + b"a.txt" + struct.pack("<H", crc)
open(sys.argv[1], "wb").write(bytes([len(body), sum(body) & 0xFF]) + body + b"alpha\0")
PY
# Archives beyond MAX_PATH, one of them to be held open for writing by the test.
far="$top/$(printf 'f%.0s' {1..200})/$(printf 'g%.0s' {1..100})" && mkdir -p "$far" && cp "$top/set.zip" "$far/far.zip" && cp "$top/set.zip" "$far/held.zip"
