#!/usr/bin/env bash
# Starts the program under Wine; under a private Xvfb when there is no display.
set -euo pipefail
exe="$1"; shift
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running under xvfb-run." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$exe" "$@"
fi
exec wine "$exe" "$@"
