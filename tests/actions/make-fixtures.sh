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
put ee delete/{e1,e2}.txt; put tt delete/t.txt; put RR r.txt
mkdir rewritten && zip delete ../rewritten/mem.zip t.txt && zip . rewritten/mem.zip r.txt && rm r.txt
put rr delete/r.txt && zip delete mem.zip r.txt t.txt
