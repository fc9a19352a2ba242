#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ and runs each for a bounded
# time on a copy of its seed corpus. Fails when any target reports a crash,
# a sanitizer finding, a broken invariant, a hang or a blown memory limit.
#
#   fuzz/run-fuzzers.sh [SECONDS_PER_TARGET]        (default 30)
#
# ZORQ_FUZZ_TARGETS="fuzz_reader fuzz_gauge" picks some targets only;
# ZORQ_FUZZ_JOBS says how many run at a time (default: the processors). The
# inputs that fail are kept in build-fuzz/fuzz-artifacts/<target>/; the
# corpus in the source tree is never written to.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "run-fuzzers: seconds per target must be a positive whole number" >&2
  exit 2
fi
targets=(${ZORQ_FUZZ_TARGETS:-fuzz_reader fuzz_numbers fuzz_gauge fuzz_logger})
build_dir=build-fuzz

echo "run-fuzzers: building the fuzz targets in $build_dir/"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORQ_BUILD_FUZZERS=ON -DZORQ_BUILD_GUI=OFF -DZORQ_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target "${targets[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/zorq-fuzz-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One target for the given time; its log and exit status go to $work.
fuzz_one() {  # TARGET
  local target="$1" corpus="$work/$1" artifacts="$build_dir/fuzz-artifacts/$1" status=0
  mkdir -p "$corpus" "$artifacts"
  if compgen -G "fuzz/corpus/$target/*" >/dev/null; then
    cp fuzz/corpus/"$target"/* "$corpus"/
  else
    echo "run-fuzzers: no seed corpus for $target" >&2
  fi
  echo "run-fuzzers: $target for ${seconds}s"
  # -timeout: one input running longer than 10 s counts as a hang.
  ASAN_OPTIONS="abort_on_error=0:detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    "$build_dir/bin/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$work/$target.log" 2>&1 || status=$?
  echo "$status" >"$work/$target.status"
}

# Each target runs on one processor: as many at a time as there are.
running=0
for target in "${targets[@]}"; do
  if ((running >= ${ZORQ_FUZZ_JOBS:-$(nproc)})); then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
wait

failed=()
for target in "${targets[@]}"; do
  log="$work/$target.log"
  if [[ "$(cat "$work/$target.status")" == 0 ]]; then
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    echo "run-fuzzers: $target passed: ${runs:-?} runs"
  else
    echo "run-fuzzers: $target FAILED; the last lines of its log:" >&2
    tail -n 40 "$log" >&2
    echo "run-fuzzers: failing inputs are in $build_dir/fuzz-artifacts/$target/" >&2
    failed+=("$target")
  fi
done

if ((${#failed[@]} > 0)); then
  echo "run-fuzzers: failed: ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzzers: all ${#targets[@]} targets passed"
