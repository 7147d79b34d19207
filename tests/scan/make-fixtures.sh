#!/usr/bin/env bash
# A tree only the Unix side can make under Wine, which shows it as drive Q:: folder links (shown as
# folders carrying their target's identity) and names the platform reads as devices or other files.
set -euo pipefail
top="$1/unix-tree" && rm -rf "$top"
mkdir -p "$top/root/sub/deep" "$top/root/prn" "$top/outside" "$1/wineprefix/dosdevices"
ln -sfn "$top/root" "$1/wineprefix/dosdevices/q:"
for file in root/a.txt root/sub/b.txt root/sub/deep/c.txt outside/o.txt; do printf '%s' "$file" > "$top/$file"; done
ln "$top/root/a.txt" "$top/root/a-hard.txt" && ln -s a.txt "$top/root/a-soft.txt"  # one file under three names
ln -s . "$top/root/self" && ln -s ../.. "$top/root/sub/deep/up"                 # to the root and an ancestor
ln -s sub "$top/root/again" && ln -s sub "$top/root/more"                       # more paths to one folder
ln -s ../outside "$top/root/out" && ln -s ../../outside "$top/root/sub/out2"    # outside, twice
for name in com10.txt auxiliary console x.con ' nul' COM com⁴ prn/in.txt aux nul.txt Aux.tar.gz 'con .txt' COM1.log lpt0 \
  'LPT²' 'com¹.txt' 'report.' 'notes '; do printf 'same' > "$top/root/$name"; done
