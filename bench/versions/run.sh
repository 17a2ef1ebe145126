#!/usr/bin/env bash
# Times our version reader against the platform's version calls, pefile and
# exiftool, in the same run, on Wine's own PE files and on 2,000 small DLLs.
# usage: bash bench/versions/run.sh [BUILD_DIR]   (after make build32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-3}"
wine_corpus=/usr/lib/i386-linux-gnu/wine/i386-windows
small_corpus="$build/bench/small"
empty="$build/bench/empty"
fields="-CompanyName -FileDescription -InternalName -LegalCopyright -LegalTrademarks
        -OriginalFileName -ProductName -ProductVersion -Comments -FileVersionNumber
        -ProductVersionNumber -FileFlags -FileOS -ObjectFileType -FileSubtype"

for tool in /usr/bin/python3 exiftool; do
  command -v "$tool" >/dev/null || { echo "missing $tool: make deps" >&2; exit 1; }
done
for exe in bench_versions bench_platform_floor; do
  [ -f "$build/$exe.exe" ] || { echo "missing $build/$exe.exe: make build32" >&2; exit 1; }
done
[ -f "$build/.test-display" ] || bash "$root/scripts/test-env.sh" start "$build" >/dev/null
mkdir -p "$empty"
if [ "$(ls "$small_corpus" 2>/dev/null | wc -l)" -ne 2000 ]; then
  rm -rf "$small_corpus"
  /usr/bin/python3 "$root/bench/versions/make_small_corpus.py" "$build/fixtures/versions" "$small_corpus" 2000
fi

winpath() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }

# Best wall time of $runs runs of a command, in seconds.
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

run_tool() { # tool folder
  case "$1" in
    ours) "$root/scripts/wine-run.sh" "$build/bench_versions.exe" "$(winpath "$2")" ;;
    floor) "$root/scripts/wine-run.sh" "$build/bench_platform_floor.exe" "$(winpath "$2")" ;;
    pefile) /usr/bin/python3 "$root/tests/tools/pefile_versions.py" "$2" ;;
    # shellcheck disable=SC2086
    exiftool) exiftool -q -q -fast -s -s -s $fields "$2" ;;
  esac
}

# Warm the file cache and the Wine server.
for corpus in "$wine_corpus" "$small_corpus"; do run_tool ours "$corpus" >/dev/null; done

printf '%-10s %-12s %6s %9s %9s %11s %8s\n' corpus tool files total_s start_s ms_per_file ratio
for corpus in "$wine_corpus" "$small_corpus"; do
  label=$([ "$corpus" = "$wine_corpus" ] && echo wine || echo small)
  files=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  declare -A per_file=() totals=()
  for tool in ours floor pefile exiftool; do
    total=$(best run_tool "$tool" "$corpus")
    start=$(best run_tool "$tool" "$empty")
    per_file[$tool]=$(echo "($total - $start) * 1000 / $files" | bc -l)
    totals[$tool]="$total $start"
  done
  for tool in ours floor pefile exiftool; do
    read -r total start <<<"${totals[$tool]}"
    printf '%-10s %-12s %6d %9.3f %9.3f %11.3f %8.1f\n' "$label" "$tool" "$files" "$total" \
      "$start" "${per_file[$tool]}" "$(echo "${per_file[$tool]} / ${per_file[ours]}" | bc -l)"
  done
  # In-process times (no process start): ours and the platform floor.
  echo "  in-process: ours $(run_tool ours "$corpus" | sed 's/.*seconds //') s," \
       "floor $(run_tool floor "$corpus" | sed 's/.*seconds //') s"
done
echo "ratio = the tool's cost per file / ours (net of its start-up on an empty folder)"
