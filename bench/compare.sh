#!/usr/bin/env bash
# The conversion speed of the working tree against an earlier commit, in one
# run: both converters are built in Release, then run by turns on the 200 MB
# logger and gauge dumps of bench/run.sh (appending to an emptied output),
# and the medians are printed side by side. Figures only; it never fails on
# a slower result.
#
#   bench/compare.sh [REV] [RUNS]        (default: HEAD~1, 7 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
rev="${1:-HEAD~1}"
runs="${2:-7}"
source bench/timing.sh

base_src="$(mktemp -d "${TMPDIR:-/tmp}/zorq-compare-XXXXXX")"
trap 'git worktree remove --force "$base_src" >/dev/null 2>&1 || rm -rf "$base_src"' EXIT
git worktree add --quiet --detach "$base_src" "$rev"
rm -rf build-bench-base  # made from another checkout of another commit each time
build_bench "$base_src" build-bench-base
base_cli=$cli
build_bench .

echo "base: $(git rev-parse --short "$rev"), this: the working tree; medians of $runs runs"
printf '%-8s %10s %10s %10s %10s %8s\n' kind "base s" "base MB/s" "this s" "this MB/s" change
for kind in logger gauge; do
  dump=$(bench_dump "$kind" 200)
  set_types "$kind"
  cat "$dump" >/dev/null
  base_times=() this_times=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$data/out.csv"
    : >"$data/out.csv"
    base_times+=("$(time_once "$base_cli" "${types[@]}" --append "$dump" "$data/out.csv")")
    rm -f "$data/out.csv"
    : >"$data/out.csv"
    this_times+=("$(time_once "$cli" "${types[@]}" --append "$dump" "$data/out.csv")")
  done
  rm -f "$data/out.csv"
  base=$(printf '%s\n' "${base_times[@]}" | median)
  this=$(printf '%s\n' "${this_times[@]}" | median)
  awk -v k="$kind" -v b="$base" -v t="$this" -v i="$(stat -c %s "$dump")" \
    'BEGIN { printf "%-8s %10.3f %10.1f %10.3f %10.1f %+7.1f%%\n", k, b, i / b / 1e6, t, i / t / 1e6, (t - b) / b * 100 }'
done
