#!/usr/bin/env bash
# run-ctest.sh BUILD_DIR...: runs the Wine tests of each build folder, one
# folder after the other, each in its own prefix and display. Under Wine on a
# loaded machine a window or a host can come up late, so a test that fails is
# run once more; the run ends by naming every test that needed that second
# run and the cases that failed in its first, since a case that passes only
# then is worth a look.
set -uo pipefail
status=0
retried=()
for dir in "$@"; do
  log="$dir/ctest-output.log"
  start=$(date +%s)
  (cd "$dir" && ctest --output-on-failure -j 1 --repeat until-pass:2) 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  echo "Tests in $dir took $(($(date +%s) - start)) s"
  # A test that failed once shows a "***" result line, followed by its output
  # (gtest names each failed case on a "[  FAILED  ] Suite.Case" line), and
  # later, when its second run passed, a "Passed" one.
  while IFS= read -r name; do
    retried+=("$dir: $name")
  done < <(awk '
    match($0, /^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: [^ ]+ /) {
      name = substr($0, RSTART, RLENGTH)
      sub(/^.*Test +#[0-9]+: /, "", name)
      sub(/ $/, "", name)
      current = ""
      if ($0 ~ /\*\*\*/) {
        failed[name] = 1
        current = name
      } else if ($0 ~ / Passed +[0-9.]+ sec/ && (name in failed)) {
        named = (name in cases) ? cases[name] : "no case named: the executable ended before its summary"
        print name ": " named
      }
      next
    }
    /^ *Start +[0-9]+: / { current = ""; next }
    current != "" && match($0, /^\[  FAILED  \] [^ ,]+\.[^ ,]+/) {
      test_case = substr($0, RSTART + 13, RLENGTH - 13)
      key = current SUBSEP test_case
      if (!(key in seen)) {
        seen[key] = 1
        if (current in cases)
          cases[current] = cases[current] ", " test_case
        else
          cases[current] = test_case
      }
    }' "$log")
done
if [ ${#retried[@]} -eq 0 ]; then
  echo "Tests that needed a second run: none"
else
  echo "Tests that needed a second run: ${#retried[@]}"
  printf '  %s\n' "${retried[@]}"
fi
exit $status
