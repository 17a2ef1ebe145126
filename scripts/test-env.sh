#!/usr/bin/env bash
# start BUILD_DIR: starts a private Xvfb (CALVORN_SCREEN=WxH, 1280x1024 unless
# told) and prepares the build's Wine prefix.
# stop BUILD_DIR: ends both again.
set -euo pipefail
cmd="$1"
dir="$(cd "$2" && pwd)"
export WINEPREFIX="$dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

stop() {
  wineserver -k 2>/dev/null || true
  if [ -f "$dir/.test-xvfb.pid" ]; then
    kill "$(cat "$dir/.test-xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/.test-xvfb.pid"
  fi
  rm -f "$dir/.test-display"
}

case "$cmd" in
start)
  stop
  # Xvfb picks a free display itself and tells it on the descriptor.

  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "${CALVORN_SCREEN:-1280x1024}x24" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  echo $! >"$dir/.test-xvfb.pid"
  read -r num <"$fifo"
  rm -f "$fifo"
  echo ":$num" >"$dir/.test-display"
  export DISPLAY=":$num"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # Without a window manager the X11 driver waits for one on every window
    # that closes; unmanaged windows spare each message box two seconds.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    # A crash must end the crashed program, not hold it in a debugger's dialog.
    for view in 32 64; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /d false /f /reg:$view >/dev/null 2>&1 || true
    done
    wineserver -w
  fi
  # A persistent server spares every test the prefix start-up.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd /c exit >/dev/null 2>&1 || true
  echo "Xvfb on :$num, prefix $WINEPREFIX"
  ;;
stop)
  stop
  ;;
esac
