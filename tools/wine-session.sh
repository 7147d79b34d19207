# Sourced by the tools: a virtual X server, the project's own Wine prefix and a persistent
# wine server for one session of test or benchmark runs, all stopped again on exit.
# Needs: $build (the build folder).

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_session_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "${veltrimox_xvfb_pid:-}" ]; then kill "$veltrimox_xvfb_pid" 2>/dev/null || true; fi
}

wine_session_start() {
  # A display of our own, so windows exist whether or not the user has one.
  local n=97
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  veltrimox_xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trap wine_session_stop EXIT

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-session: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Japanese text needs a CJK font linked behind the default interface fonts.
    local reg="$build/fontlink.reg"
    {
      printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n'
      for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "MS UI Gothic"; do
        printf '"%s"=hex(7):%s\n' "$face" "$(printf 'ipag.ttf,IPAGothic\0\0' | iconv -t UTF-16LE | od -An -tx1 | tr -s ' \n' ',' | sed 's/^,//;s/,$//')"
      done
      # No window manager runs in the virtual display: Wine then draws the frames itself and does
      # not wait (two seconds each time) for a manager to confirm that a window was hidden.
      printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    } > "$reg"
    wine regedit /S "$reg" >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
  # Start Wine's background services now, detached from our output: started later by a test
  # program, they would inherit ctest's pipes and keep it waiting after the test ends.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
