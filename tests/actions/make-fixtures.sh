#!/usr/bin/env bash
# The trees the command tests act on, archives made with 7zz on the Unix side. Usage: make-fixtures.sh BUILD_DIR
set -euo pipefail
top="$1/actions-fixtures"
rm -rf "$top" && mkdir -p "$top" && cd "$top"
mkdir -p delete/names clash/files clash/folders/{a,c} move/{dest/pack.zip,report}
put() { for f in "${@:2}"; do printf '%s' "$1" > "$f"; done; }
zip() { (cd "$1" && 7zz a -tzip -bso0 -bsp0 "${@:2}"); }
# Names the archiver could take as wildcards, switches, list files, folded case or two names
# ("a" "b"), and items it would take as one: "a" a file and a folder, "c" beside "c/x.txt".
n140=$(printf 'n%.0s' {1..140}) && mkdir -p "delete/names/long/$n140"
(cd delete/names && put 'same content' 'q?.txt' qa.txt -x.txt @x.txt Readme.txt README.TXT a b 'a" "b' "long/$n140/$n140" && zip . ../names.zip -- ./*)
rm -r delete/names
put 'same content' clash/files/{a,c} clash/folders/c/x.txt
zip clash/files ../../delete/clash.zip a c && zip clash/folders ../../delete/clash.zip a c/x.txt && rm -r clash
put same delete/{k1,k2}.txt; put one delete/one.txt; put two delete/two.txt; put gone delete/{gone,here}.txt
put locked delete/{locked,locked-copy}.txt; put m1 delete/m1.txt; put m2 delete/m2.txt
zip delete set.zip one.txt two.txt && zip delete solo.zip two.txt && zip delete held.zip m1.txt m2.txt
cp delete/set.zip delete/set-copy.zip && rm delete/m2.txt
put mv move/{mv,mv-copy}.txt; put older move/older.txt; put p move/{p.txt,dest/pack.zip/inside.txt}; put q move/q.txt
put rep move/{report/report,copy}
zip move dest/mv.txt older.txt && zip move pack.zip p.txt q.txt && ln -s report move/zlink
# Member names the archiver would read as other members (made on Windows: a backslash separates
# folders); a member and a loose file that change after the scan (the test puts mem.zip's rewrite in place).
python3 -c 'import sys, zipfile
with zipfile.ZipFile("evil.zip", "w") as z:
    for name in sys.argv[1:]: i = zipfile.ZipInfo(name); i.create_system = 0; z.writestr(i, "content of " + name)' \
  docs/a.txt docs/b.txt docs/sub/c.txt keep.txt b.txt c.txt 2.txt 'x\..\docs' 'docs\.' 'x\..' '\b.txt' 'a\..\b.txt' \
  'x\.\b.txt' '.\c.txt' 'c:\2.txt' 'docs\\b.txt'
put hh delete/h1.txt && cp -p delete/h1.txt delete/h2.txt; put ss delete/{s1,s2}.txt; put ee delete/{e1,e2}.txt; put tt delete/t.txt; put RR r.txt
mkdir rewritten && zip delete ../rewritten/mem.zip t.txt && zip . rewritten/mem.zip r.txt && rm r.txt
put rr delete/r.txt && zip delete mem.zip r.txt t.txt
# Copies that are no copies: a member and a loose file forged to the CRC and size of forge1.bin,
# one file under three names (a hard link, a link the file system follows), a loose file labelled
# like a member of label.zip, and archives with more in them than their one member (a photo before
# it, data after it).
python3 - <<'PY'
import zlib
def forge(data, want):  # four bytes more that give `data` the CRC `want`: CRC-32 is linear
    base, basis = zlib.crc32(data + bytes(4)), []
    for i in range(32):
        v, c = zlib.crc32(data + (1 << i).to_bytes(4, "little")) ^ base, 1 << i
        for bv, bc in basis:
            v, c = (v ^ bv, c ^ bc) if v ^ bv < v else (v, c)
        basis = sorted(basis + [(v, c)], reverse=True) if v else basis
    t, x = want ^ base, 0
    for bv, bc in basis:
        t, x = (t ^ bv, x ^ bc) if t ^ bv < t else (t, x)
    return data + x.to_bytes(4, "little")
one = b"forged one" + bytes(4)
open("delete/forge1.bin", "wb").write(one)
for name, start in (("forge2.bin", b"forged two"), ("forge3.bin", b"forged 333")):
    open("delete/" + name, "wb").write(forge(start, zlib.crc32(one)))
PY
zip delete forge.zip forge2.bin && rm delete/forge2.bin && ln delete/k2.txt delete/k2-link.txt && ln -s k2.txt delete/k2-soft.txt
put U delete/{u.txt,u-copy.txt}; put L 'delete/label.zip【u.txt】' delete/l-copy.txt; put pic delete/pic.txt; put tl delete/tl.txt
zip delete label.zip u.txt && zip delete pic.zip pic.txt && zip delete tail.zip tl.txt && rm delete/u.txt
head -c 3000 /dev/urandom | { printf '\377\330\377\340'; cat; } | cat - delete/pic.zip > delete/photo.jpg && rm delete/pic.zip
head -c 1000 /dev/urandom >> delete/tail.zip
# Paths longer than MAX_PATH: the Recycle Bin takes none of them, a move takes them all.
l150=$(printf 'l%.0s' {1..150}) && mkdir -p "delete/$l150/$l150" "move/$l150/$l150"
put far "delete/$l150/$l150/far1.txt" "delete/$l150/$l150/far2.txt" "move/$l150/$l150/far.txt" move/far-copy.txt
