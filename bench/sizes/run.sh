#!/usr/bin/env bash
# The size of every shipped file and of the portable zip against its goal;
# writes BUILD_DIR/bench/sizes.md, the README's size table.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
python3 "$root/bench/sizes/sizes.py" "$root" "$build/bench/sizes.md"
