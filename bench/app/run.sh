#!/usr/bin/env bash
# Start-up, registration, size and memory of the real program against their
# baselines, in one run under the build's private Xvfb and Wine prefix.
# Columns: measure, ours, baseline (or target), ratio.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-10}"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
printf 'measure\tours\tbaseline\tratio\n'
"$root/scripts/wine-run.sh" "$build/bench_app.exe" all "$runs" | tr -d '\r' | grep -v "^regsvr32:"
"$root/scripts/wine-run.sh" "$build/bench_report.exe" 1000 "${BENCH_RUNS:-7}" | tr -d '\r'
