#!/usr/bin/env bash
# The report's folder walk ("-f" with "-sub") against a plain recursive
# FindFirstFileEx walker, both in one run on the same trees under the build's
# Wine prefix: a tree 1,000 folders deep with a file in each, and a wide one.
# Columns: measure, ours, baseline (seconds), ratio, target, verdict.
# Target: the walk within 1.3 times the plain walker.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-3}"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
"$root/scripts/wine-run.sh" "$build/bench_walk.exe" "$runs" | tr -d '\r'
