#!/usr/bin/env bash
# What "-sig" adds to the quiet folder report, per file, in one run: the CSV
# of a folder with and without it, best of BENCH_RUNS, on Wine's own PE
# files (almost all unsigned: only the headers are read) and on 500 copies
# of the signed fixture (each one verified by the trust provider).
# usage: bash bench/signature/run.sh [BUILD_DIR]   (after make build32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-3}"
wine_corpus=/usr/lib/i386-linux-gnu/wine/i386-windows
signed_corpus="$build/bench/signed"
signed="$build/fixtures/signature/signed.dll"

[ -f "$build/calvorn.exe" ] || { echo "missing $build/calvorn.exe: make build32" >&2; exit 1; }
if [ ! -f "$signed" ]; then
  echo "missing $signed: the signed fixtures need osslsigncode (make deps, then build calvorn_fixtures)" >&2
  exit 1
fi
if [ ! -f "$build/.test-display" ]; then
  bash "$root/scripts/test-env.sh" start "$build" >/dev/null
  trap 'bash "$root/scripts/test-env.sh" stop "$build" >/dev/null' EXIT
fi
if [ "$(ls "$signed_corpus" 2>/dev/null | wc -l)" -ne 500 ]; then
  rm -rf "$signed_corpus" && mkdir -p "$signed_corpus"
  for i in $(seq 1000 1499); do cp "$signed" "$signed_corpus/s$i.dll"; done
fi

winpath() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }
best() {
  local best_time="" start end t
  for _ in $(seq "$runs"); do
    start=$(now)
    "$@" >/dev/null 2>&1
    end=$(now)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time"
}
report() { # folder [-sig]
  "$root/scripts/wine-run.sh" "$build/calvorn.exe" -q -f "$(winpath "$1")" -format csv -out - "${@:2}"
}

for corpus in "$wine_corpus" "$signed_corpus"; do report "$corpus" -sig >/dev/null 2>&1 || true; done
printf '%-8s %6s %10s %10s %15s\n' corpus files plain_s sig_s sig_ms_per_file
for corpus in "$wine_corpus" "$signed_corpus"; do
  label=$([ "$corpus" = "$wine_corpus" ] && echo wine || echo signed)
  files=$(report "$corpus" | tail -n +2 | wc -l)
  plain=$(best report "$corpus")
  sig=$(best report "$corpus" -sig)
  printf '%-8s %6d %10.3f %10.3f %15.3f\n' "$label" "$files" "$plain" "$sig" \
    "$(echo "($sig - $plain) * 1000 / $files" | bc -l)"
done
