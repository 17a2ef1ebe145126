#!/usr/bin/env bash
# The folder report's inventory (CSV, default columns: SHA-256 included)
# against pefile and hashlib reading the same columns, in the same run, on
# Wine's own PE files; and what the digests cost per file: the text report
# (which computes none) against the CSV with SHA-256 and with all three.
# usage: bash bench/inventory/run.sh [BUILD_DIR]   (after make build32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-3}"
corpus="${BENCH_CORPUS:-/usr/lib/i386-linux-gnu/wine/i386-windows}"
empty="$build/bench/empty"
[ -f "$build/calvorn.exe" ] || { echo "missing $build/calvorn.exe: make build32" >&2; exit 1; }
/usr/bin/python3 -c "import pefile" 2>/dev/null || { echo "missing pefile: make deps" >&2; exit 1; }
[ -f "$build/.test-display" ] || bash "$root/scripts/test-env.sh" start "$build" >/dev/null
mkdir -p "$empty"

winpath() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }
best() {
  local best_time="" start end t
  for _ in $(seq "$runs"); do
    start=$(now)
    "$@" >/dev/null 2>&1 || true
    end=$(now)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time"
}
calvorn() { "$root/scripts/wine-run.sh" "$build/calvorn.exe" -q -f "$(winpath "$1")" "${@:2}" -out -; }
run_tool() { # tool folder
  case "$1" in
    text) calvorn "$2" ;;
    csv) calvorn "$2" -format csv ;;
    csv-all-hashes) calvorn "$2" -format csv -hash md5,sha1,sha256 ;;
    pefile) /usr/bin/python3 "$root/bench/inventory/pefile_inventory.py" "$2" ;;
  esac
}

files=$(find "$corpus" -maxdepth 1 -type f \( -iname '*.dll' -o -iname '*.ocx' -o -iname '*.exe' \) | wc -l)
run_tool csv "$corpus" >/dev/null 2>&1 || true # warm the file cache and the Wine server
declare -A per_file=()
printf '%-16s %6s %9s %9s %11s\n' tool files total_s start_s ms_per_file
for tool in text csv csv-all-hashes pefile; do
  total=$(best run_tool "$tool" "$corpus")
  start=$(best run_tool "$tool" "$empty")
  per_file[$tool]=$(echo "($total - $start) * 1000 / $files" | bc -l)
  printf '%-16s %6d %9.3f %9.3f %11.3f\n' "$tool" "$files" "$total" "$start" "${per_file[$tool]}"
done
printf 'pefile / csv (default columns): %.1fx (target: at least 5x)\n' \
  "$(echo "${per_file[pefile]} / ${per_file[csv]}" | bc -l)"
printf 'SHA-256 per file: %.3f ms; md5+sha1+sha256 per file: %.3f ms (csv less text)\n' \
  "$(echo "${per_file[csv]} - ${per_file[text]}" | bc -l)" \
  "$(echo "${per_file[csv-all-hashes]} - ${per_file[text]}" | bc -l)"
