#!/usr/bin/env bash
# Runs every GoogleTest program of a build folder whole, each split into
# shards that run side by side, where ctest starts one process per test
# case. Under AddressSanitizer a process takes about a quarter of a second
# to start and to look for leaks at its exit: over a thousand cases that was
# more than a third of the run. Here each shard pays it once.
#
#   scripts/run-gtest-shards.sh BUILD_DIR [JOBS]
#
# A program runs in the folder where ctest runs its cases (where its
# *_tests.cmake file lies). The cases run, passed or skipped, are counted
# against the cases ctest knows (label gtest), so that a program left out
# fails the run. A failing shard prints its log; the exit status is then 8.
set -uo pipefail
build="${1:?usage: run-gtest-shards.sh BUILD_DIR [JOBS]}"
build="$(cd "$build" && pwd)"  # each shard runs in a folder of its own
jobs="${2:-$(nproc)}"
shards_per_program=2
shard_seconds=1200
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

# The programs with the most cases first, so that the last shards to start
# are short ones.
mapfile -t case_lists < <(find "$build" -name '*_tests.cmake' -printf '%s %p\n' | sort -rn |
  cut -d' ' -f2-)
if ((${#case_lists[@]} == 0)); then
  echo "run-gtest-shards: no test programs in $build" >&2
  exit 8
fi

run_shard() {  # PROGRAM FOLDER SHARD LOG
  local started=$SECONDS status=0
  (cd "$2" && GTEST_TOTAL_SHARDS=$shards_per_program GTEST_SHARD_INDEX=$3 \
    timeout "$shard_seconds" "$1" --gtest_brief=1 >"$4" 2>&1) || status=$?
  echo "$status $((SECONDS - started))" >"$4.status"
}

running=0
for list in "${case_lists[@]}"; do
  name="$(basename "$list")"
  program="$build/bin/${name%%\[*}"
  if [[ ! -x "$program" ]]; then
    echo "run-gtest-shards: $program, named by $list, is missing" >&2
    exit 8
  fi
  for ((shard = 0; shard < shards_per_program; shard++)); do
    if ((running >= jobs)); then
      wait -n
      ((running--))
    fi
    run_shard "$program" "$(dirname "$list")" "$shard" "$logs/$(basename "$program").$shard" &
    ((running++))
  done
done
wait

failed=0 ran=0
for status_file in "$logs"/*.status; do
  log="${status_file%.status}"
  read -r status seconds <"$status_file"
  shard="$(basename "$log")"
  ran=$((ran + $(awk '/^\[  (PASSED  |SKIPPED )\] [0-9]+ test/ { n += $4 } END { print n + 0 }' "$log")))
  if ((status != 0)); then
    failed=1
    echo "== $shard of $shards_per_program FAILED (exit status $status after ${seconds} s):"
    tail -n 200 "$log"
  else
    echo "run-gtest-shards: $shard of $shards_per_program passed in ${seconds} s"
  fi
done

known="$(ctest --test-dir "$build" -N -L gtest | awk '/^Total Tests:/ { print $3 }')"
if ((ran != known)); then
  echo "run-gtest-shards: $ran cases ran, but ctest knows $known" >&2
  failed=1
fi
if ((failed)); then
  exit 8
fi
echo "run-gtest-shards: all $ran cases passed"
