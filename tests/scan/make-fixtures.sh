#!/usr/bin/env bash
# Trees that only the Unix side can make under Wine: drive Q: of the test prefix, a tree with
# folder links (Wine shows them as folders carrying their target's identity), and names the
# platform reads as devices or as other files. Usage: make-fixtures.sh BUILD_DIR
set -euo pipefail
build="$1"

drive="$build/drive-tree"
rm -rf "$drive"
mkdir -p "$drive/old" "$build/wineprefix/dosdevices"
printf 'top' > "$drive/top.txt"
printf 'old' > "$drive/old/set.txt"
ln -sfn "$drive" "$build/wineprefix/dosdevices/q:"

top="$build/link-tree"
rm -rf "$top"
mkdir -p "$top/root/sub/deep" "$top/outside"
for file in root/a.txt root/sub/b.txt root/sub/deep/c.txt outside/o.txt; do printf '%s' "$file" > "$top/$file"; done
ln -s . "$top/root/self"                 # back to the dropped folder
ln -s ../.. "$top/root/sub/deep/up"      # to an ancestor, two levels up
ln -s sub "$top/root/again"              # a second path to a folder also reached directly
ln -s sub "$top/root/more"               # and a third
ln -s ../outside "$top/root/out"         # outside the dropped tree: walked, once
ln -s ../../outside "$top/root/sub/out2" # the same outside folder again

top="$build/device-tree"
rm -rf "$top"
mkdir -p "$top/prn" "$top/sub"
for name in a.txt sub/b.txt com10.txt auxiliary prn/in.txt aux nul.txt Aux.tar.gz 'con .txt' COM1.log lpt0 'LPT²' 'report.' 'notes '; do printf 'same' > "$top/$name"; done
