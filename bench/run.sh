#!/usr/bin/env bash
# Runs every benchmark set: each bench/<set>/run.sh, given the build folder.
# usage: bash bench/run.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/win32}"
for script in "$root"/bench/*/run.sh; do
  echo "== $(basename "$(dirname "$script")")"
  bash "$script" "$build"
done
