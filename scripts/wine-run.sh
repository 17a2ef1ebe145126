#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine, in the build's own
# prefix and on the display that the test run started (see test-env.sh).
set -euo pipefail
exe="$1"
dir="$(cd "$(dirname "$exe")" && pwd)"
export WINEPREFIX="${CALVORN_WINEPREFIX:-$dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -f "$dir/.test-display" ]; then
  DISPLAY="$(cat "$dir/.test-display")"
  export DISPLAY
fi
exec wine "$@"
