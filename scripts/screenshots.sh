#!/usr/bin/env bash
# Screenshots of the main window: each tab at its smallest size and
# maximized, at 96 and 144 DPI (SHOT_DPIS="96 120 144 192" for more), under the build's private Xvfb and prefix.
# usage: bash scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
display="$(cat "$build/.test-display")"
export CALVORN_WINEPREFIX="$build/wineprefix"
for dpi in ${SHOT_DPIS:-96 144}; do
  "$root/scripts/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  for tab in 0 1 2; do
    for size in min max; do
      log="$(mktemp)"
      "$root/scripts/wine-run.sh" "$build/calvorn_shots.exe" "$tab" "$size" 4 >"$log" 2>/dev/null &
      pid=$!
      for _ in $(seq 1 200); do grep -q ready "$log" && break; sleep 0.1; done
      import -window root -display "$display" "$out/main-${dpi}dpi-tab${tab}-${size}.png"
      wait "$pid" || true
      rm -f "$log"
    done
  done
done
"$root/scripts/wine-run.sh" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
# The first two tabs under a dark high-contrast scheme, at the prefix's DPI.
for tab in 0 1; do
  log="$(mktemp)"
  "$root/scripts/wine-run.sh" "$build/calvorn_shots.exe" "$tab" min 4 dark >"$log" 2>/dev/null &
  pid=$!
  for _ in $(seq 1 200); do grep -q ready "$log" && break; sleep 0.1; done
  import -window root -display "$display" "$out/main-tab${tab}-min-dark.png"
  wait "$pid" || true
  rm -f "$log"
done
ls "$out"
