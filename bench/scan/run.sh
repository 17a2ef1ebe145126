#!/usr/bin/env bash
# The machine scan of broken COM registrations, in-process and as the real
# program runs it, on the build's private Wine prefix, then with nine times as
# many synthetic classes added (taken away again at the end). Columns:
# measure, ours, baseline (the prefix as it is), ratio, target, verdict.
# Targets: the whole "-q -scan" of the prefix under 2 s; ten times the
# classes about ten times the time (linear growth, 25 % of room).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-5}"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
"$root/scripts/wine-run.sh" "$build/bench_scan.exe" "$runs" | tr -d '\r'
