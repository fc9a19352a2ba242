#!/usr/bin/env bash
# Installs what is needed, then builds and runs the whole test suite:
#   0. every tracked .cpp/.h is as clang-format makes it, every .cpp is
#      named in its folder's CMakeLists.txt, and every room includes only the
#      rooms it may
#   1. build/        warnings as errors, every test (Qt tests offscreen)
#   2. build-asan/   AddressSanitizer + UBSan, every test of the core (each
#                    GoogleTest program whole, in shards side by side)
#   3. build-tsan/   ThreadSanitizer, the tests of conversions that run in
#                    threads, of the preview read in pieces, of the wave
#                    statistics worked out beside the conversion, the
#                    command line's --jobs, pipe, signal and --waves runs, an
#                    output written behind with its writeback, and an input
#                    read ahead (the rest runs on one thread and is kept
#                    short)
#   4. short bounded fuzz runs of every fuzz target (when clang is present)
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

# Runs ctest; when tests fail, runs the failed ones again at the end so that
# the last lines of a long log (all a CI page may show) say why they failed.
run_ctest() {
  local dir="$1"
  shift
  if ! ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"; then
    echo "== the failed tests of $dir, run again"
    ctest --test-dir "$dir" --rerun-failed --output-on-failure || true
    return 8
  fi
}

# Each stage's heading with the time since the start, so that a long log
# tells where the time went.
started=$SECONDS
stage() { echo "== $1 (at $((SECONDS - started)) s)"; }

bash scripts/install-deps.sh

stage "format, source lists and layering"
bash scripts/check-format.sh
bash scripts/check-source-lists.sh
bash scripts/check-layering.sh

stage "build/ (warnings as errors)"
# The GUI is named so that a build folder configured without it earlier
# cannot leave the Qt tests out.
cmake -S . -B build -G Ninja -DZORQ_WERROR=ON -DZORQ_BUILD_GUI=ON >/dev/null
cmake --build build -j "$jobs"
run_ctest build

stage "build-asan/ (AddressSanitizer + UBSan)"
# Line tables are all a sanitizer's report needs to name file and line; full
# debug information made the build a tenth slower.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DZORQ_SANITIZE=ON -DZORQ_BUILD_GUI=OFF -DZORQ_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
# The GoogleTest programs whole, in shards (under ASan, starting a process
# per case was more than a third of the run), then the rest through ctest.
asan_status=0
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt"
bash scripts/run-gtest-shards.sh build-asan "$jobs" || asan_status=$?
run_ctest build-asan -LE gtest || asan_status=$?
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
((asan_status == 0)) || exit "$asan_status"

stage "build-tsan/ (ThreadSanitizer)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORQ_SANITIZE_THREAD=ON \
  -DZORQ_BUILD_GUI=OFF -DZORQ_WERROR=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target zorq_core_tests zorq_waves_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_ctest build-tsan \
    -R '^(Engine(Threads|Cancel|Progress)|FileThreads|PreviewData|Cli(WorkedExamples|Json|Pipes|Signals|Waves)|WaveThreads|(Limits/)?BackgroundReadings(Fail|Stop)?|Rows/(WriteBehind|ReadAhead)|Writeback/NewOutputWriteback|Worker|SizedThread)\.'

if [[ -x fuzz/run-fuzzers.sh ]] && command -v clang++ >/dev/null; then
  stage "fuzzing (bounded)"
  fuzz/run-fuzzers.sh "${ZORQ_FUZZ_SECONDS:-30}"
fi
stage "done"
