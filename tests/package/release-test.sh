#!/usr/bin/env bash
# The release zip as a Windows user gets it, run alone in a fresh Wine prefix. Usage: release-test.sh BUILD_DIR ZIP
set -euo pipefail
zip="$2" root=$(cd "$(dirname "$0")/../.." && pwd) work="$1/release-test"
fail() { echo "release-test: $*" >&2; exit 1; }
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
rm -rf "$work" && mkdir -p "$work/unpacked" && unzip -q "$zip" -d "$work/unpacked"
[ "$(ls "$work/unpacked" | tr '\n' ' ')" = "README.txt Veltrimox.exe Veltrimox.ini xxHash-LICENSE.txt " ] || fail "unexpected contents"
grep -q "Copyright (C) .* Yann Collet" "$work/unpacked/xxHash-LICENSE.txt" || fail "no notice of xxHash's licence"
utf8() { [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ] && iconv -f UTF-16 -t UTF-8 "$1"; }
utf8 "$work/unpacked/Veltrimox.ini" > "$work/ini.txt" || fail "the settings are not UTF-16 with a byte-order mark"
! grep -qv $'\r$' "$work/unpacked/README.txt" "$work/unpacked/xxHash-LICENSE.txt" "$work/ini.txt" || fail "lines without CRLF"
headers=$(x86_64-w64-mingw32-objdump -p "$work/unpacked/Veltrimox.exe")
grep -q 'symbols stripped' <<<"$headers" || fail "symbols not stripped"
dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
! grep -viE '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|advapi32|msvcrt)\.dll$' <<<"$dlls" \
  || fail "imports DLLs that Windows does not have"
rc=$(x86_64-w64-mingw32-windres -i "$work/unpacked/Veltrimox.exe" -O rc)
[ "$(grep '^LANGUAGE' <<<"$rc" | sort -u)" = "LANGUAGE 17, 1" ] || fail "resources not all in 0x411"
version=$(sed -n 's/^project(Veltrimox VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
grep -qF "VALUE \"ProductVersion\", \"$version\"" <<<"$rc" || fail "the version resource is not $version"

wineboot -i >/dev/null 2>&1 && wineserver -w
app="$WINEPREFIX/drive_c/Veltrimox"
mkdir -p "$app" && unzip -q "$zip" Veltrimox.exe -d "$app"
# Started in its own folder and closed as the system closes a program (WM_CLOSE), it ends with 0.
(cd "$app" && exec wine Veltrimox.exe) & program=$!
for _ in $(seq 60); do kill -0 $program 2>/dev/null || break; wine taskkill /im Veltrimox.exe >/dev/null 2>&1 || true; sleep 0.5; done
! kill -0 $program 2>/dev/null || fail "the program did not end when closed"
wait "$program" || fail "the program ended with $? when closed"
# The shipped settings (UTF-16, as a file the program makes) hold the placement it starts with (Wine drops the blank after "=").
[ "$(sed -n '/^\[SystemSetting\]/,$p' "$work/ini.txt" | tr -d ' \r')" = "$(utf8 "$app/Veltrimox.ini" | tr -d ' \r')" ] \
  || fail "the shipped [SystemSetting] differs from what the program stores: $(cat "$app/Veltrimox.ini")"
