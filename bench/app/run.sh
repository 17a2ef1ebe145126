#!/usr/bin/env bash
# Start-up, the switch actions, the report of one file, registration, the
# folder report, size and memory of the real program against baselines
# measured in the same run, under the build's private Xvfb and Wine prefix.
# Columns: measure, ours, baseline, ratio, the target for the ratio, verdict.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-10}"
wine_corpus=/usr/lib/i386-linux-gnu/wine/i386-windows
corpus="$build/bench/wine_components"
empty="$build/bench/empty"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }
now() { date +%s.%N; }

"$root/scripts/wine-run.sh" "$build/bench_app.exe" all "$runs" | tr -d '\r' | grep -v "^regsvr32:"
"$root/scripts/wine-run.sh" "$build/bench_report.exe" 1000 "${BENCH_REPORT_RUNS:-12}" | tr -d '\r' |
  grep -v '^report_1'

# The folder report on Wine's own DLL, OCX and EXE files (links to them, so
# that every file of the folder is one the report reads), net of the same run
# on an empty folder, from outside; against our version reader in-process on
# the same files, and against pefile, net of its own empty-folder run.
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus"
  find "$wine_corpus" -maxdepth 1 -type f \( -iname '*.dll' -o -iname '*.ocx' -o -iname '*.exe' \) \
    -exec ln -s {} "$corpus/" \;
fi
mkdir -p "$empty"
folder_runs="${BENCH_FOLDER_RUNS:-10}"
read -r _ ours files full none < <("$root/scripts/wine-run.sh" "$build/bench_app.exe" folder \
  "$folder_runs" "$(winpath "$corpus")" "$(winpath "$empty")" | tr -d '\r')
reader=""
for _ in $(seq "$folder_runs"); do
  s=$("$root/scripts/wine-run.sh" "$build/bench_versions.exe" "$(winpath "$corpus")" | tr -d '\r' |
    sed 's/.*seconds //')
  if [ -z "$reader" ] || [ "$(echo "$s < $reader" | bc -l)" = 1 ]; then reader=$s; fi
done
reader=$(echo "$reader * 1000 / $files" | bc -l)
best() {
  local best_time="" start t
  for _ in $(seq "$folder_runs"); do
    start=$(now)
    "$@" >/dev/null 2>&1
    t=$(echo "$(now) - $start" | bc -l)
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time"
}
pefile_full=$(best /usr/bin/python3 "$root/tests/tools/pefile_versions.py" "$corpus")
pefile_none=$(best /usr/bin/python3 "$root/tests/tools/pefile_versions.py" "$empty")
pefile=$(echo "($pefile_full - $pefile_none) * 1000 / $files" | bc -l)
verdict() { [ "$(echo "$1" | bc -l)" = 1 ] && echo MET || echo "NOT MET"; }
printf '%-30s %10.3f %10.3f %7.2f %2s %5.2f  %s\n' folder_ms_per_file "$ours" "$reader" \
  "$(echo "$ours / $reader" | bc -l)" '<=' 1.5 "$(verdict "$ours / $reader <= 1.5")"
printf '%-30s %10.3f %10.3f %7.2f %2s %5.2f  %s\n' folder_vs_pefile_ms_per_file "$ours" "$pefile" \
  "$(echo "$pefile / $ours" | bc -l)" '>=' 5.0 "$(verdict "$pefile / $ours >= 5")"
printf '  (%d files; -f %.0f ms, on the empty folder %.0f ms; the ratio against pefile is\n' \
  "$files" "$full" "$none"
printf '   how many times faster ours is)\n'
