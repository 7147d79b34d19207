#!/usr/bin/env bash
# Trees only the Unix side can make under Wine: drive Q:, folder links (Wine shows them as folders
# carrying their target's identity), names the platform reads as devices or other files.
set -euo pipefail
drive="$1/drive-tree" links="$1/link-tree" devices="$1/device-tree"
rm -rf "$drive" "$links" "$devices"
mkdir -p "$drive/old" "$1/wineprefix/dosdevices" "$links/root/sub/deep" "$links/outside" "$devices/prn" "$devices/sub"
printf 'top' > "$drive/top.txt" && printf 'old' > "$drive/old/set.txt"
ln -sfn "$drive" "$1/wineprefix/dosdevices/q:"
for file in root/a.txt root/sub/b.txt root/sub/deep/c.txt outside/o.txt; do printf '%s' "$file" > "$links/$file"; done
ln -s . "$links/root/self" && ln -s ../.. "$links/root/sub/deep/up"      # to the root and an ancestor
ln -s sub "$links/root/again" && ln -s sub "$links/root/more"            # more paths to one folder
ln -s ../outside "$links/root/out" && ln -s ../../outside "$links/root/sub/out2"  # outside, twice
for name in sub/b.txt com10.txt auxiliary console x.con ' nul' COM com⁴ prn/in.txt aux nul.txt Aux.tar.gz 'con .txt' COM1.log lpt0 \
  'LPT²' 'com¹.txt' 'report.' 'notes '; do printf 'same' > "$devices/$name"; done
