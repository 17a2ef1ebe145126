#!/usr/bin/env bash
# Runs every fuzz target of the native build for a set time. Inputs that add
# coverage land in BUILD/fuzz-new/<target>; crashes in BUILD/fuzz-crashes.
set -euo pipefail
build="$1"; seconds="${2:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$build/fuzz-crashes"
for fuzzer in "$build"/*_fuzz; do
  name="$(basename "$fuzzer")"; corpus="${name%_fuzz}"
  new="$build/fuzz-new/$corpus"; mkdir -p "$new"
  echo "== $name for ${seconds}s"
  "$fuzzer" "$new" "$root/fuzz/corpus/$corpus" -max_total_time="$seconds" \
    -artifact_prefix="$build/fuzz-crashes/$corpus-" -print_final_stats=1 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|==.*ERROR|SUMMARY)' || true
done
