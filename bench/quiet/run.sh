#!/usr/bin/env bash
# Quiet registration against regsvr32 /s, in one run under the build's private
# Xvfb and Wine prefix. Columns: measure, ours, baseline, ratio (ours/baseline),
# the target and the verdict. Targets: one DLL <= 1.1; 100 DLLs in one call
# <= 0.2 (five times faster); one DLL exported (-q -e) against the same DLL
# registered (-q -r) <= 1.3; a component of 10,000 types checked (-q -check)
# against its export (-q -e) <= 2.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
runs="${BENCH_RUNS:-10}"
"$root/scripts/test-env.sh" start "$build" >/dev/null
trap '"$root/scripts/test-env.sh" stop "$build"' EXIT
"$root/scripts/wine-run.sh" "$build/bench_quiet.exe" all "$runs" | tr -d '\r'
