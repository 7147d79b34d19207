# Sourced by the tools: the project's own Wine prefix, and for tests and benchmarks a virtual
# X server with a persistent wine server, all stopped again on exit.
# Needs: $build (the build folder).

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Creates the prefix $WINEPREFIX when missing. With "unmanaged", Wine draws window frames
# itself: right for a virtual display without a window manager, where it also saves a wait of
# two seconds for every window that closes; a user's desktop keeps its window manager.
wine_prefix_init() {
  local mode="${1:-managed}"
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "wine-session: creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Wine's own interface fonts (Tahoma, Marlett for the caption buttons), and Japanese text
  # through a CJK font linked behind them.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  local reg="$WINEPREFIX/veltrimox.reg"
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "MS UI Gothic"; do
      printf '"%s"=hex(7):%s\n' "$face" "$(printf 'ipag.ttf,IPAGothic\0\0' | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//;s/,$//')"
    done
    # A crash prints its backtrace and ends the program, instead of waiting on a dialog.
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n'
    if [ "$mode" = unmanaged ]; then
      printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    fi
  } > "$reg"
  wine regedit /S "$reg" >/dev/null 2>&1
  wineserver -w
}

wine_session_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "${veltrimox_xvfb_pid:-}" ]; then kill "$veltrimox_xvfb_pid" 2>/dev/null || true; fi
}

# A virtual display of our own, so windows exist whether or not the user has one.
start_virtual_display() {
  local n=97
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  veltrimox_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

wine_session_start() {
  export WINEPREFIX="$build/wineprefix"
  # The prefix's Desktop and Documents point into HOME: keep them inside the build folder, so
  # nothing a test does can reach the user's own folders.
  export HOME="$build/wine-home"
  mkdir -p "$HOME"
  start_virtual_display
  trap wine_session_stop EXIT
  wine_prefix_init unmanaged
  wineserver -p
  # Start Wine's background services now, detached from our output: started later by a test
  # program, they would inherit ctest's pipes and keep it waiting after the test ends.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
