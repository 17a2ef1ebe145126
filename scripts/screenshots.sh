#!/usr/bin/env bash
# Screenshots of the main window: each tab at its smallest size (cut to the
# window) and maximized (the whole screen, as large as 1280 x 1024 at 96 DPI
# would be), at 96, 144 and 192 DPI
# (SHOT_DPIS="96 120 144 192" for others), under the build's private Xvfb and
# prefix. Wine draws the caption buttons' symbols with the Marlett font;
# without it they come out as letters ("0 1 r"). Its copy (fonts-wine,
# scripts/install-deps.sh) is where this Wine does not look, so it goes into
# the prefix's own Fonts folder, which Wine reads.
# usage: bash scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
export CALVORN_WINEPREFIX="$build/wineprefix"
marlett() {
  local fonts="$CALVORN_WINEPREFIX/drive_c/windows/Fonts"
  if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
}
for dpi in ${SHOT_DPIS:-96 144 192}; do
  # A screen of the same physical size at every DPI: 1280 x 1024 at 96.
  CALVORN_SCREEN="$((1280 * dpi / 96))x$((1024 * dpi / 96))" \
    "$root/scripts/test-env.sh" start "$build" >/dev/null
  display="$(cat "$build/.test-display")"
  marlett
  "$root/scripts/wine-run.sh" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  for tab in 0 1 2; do
    for size in min max; do
      log="$(mktemp)"
      "$root/scripts/wine-run.sh" "$build/calvorn_shots.exe" "$tab" "$size" 4 >"$log" 2>/dev/null &
      pid=$!
      for _ in $(seq 1 200); do grep -q ready "$log" && break; sleep 0.1; done
      crop=()
      if [ "$size" = min ]; then
        read -r _ width height < <(grep ready "$log")
        [ -n "${width:-}" ] && crop=(-crop "${width}x${height}+0+0" +repage)
      fi
      import -window root -display "$display" "${crop[@]}" "$out/main-${dpi}dpi-tab${tab}-${size}.png"
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
