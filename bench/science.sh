#!/usr/bin/env bash
# The science outputs against the legacy CSV, on the 200 MB dumps of
# bench/run.sh, in one run:
#
#   bench/science.sh [RUNS]
#
# For each kind of dump and each of --format legacy, netcdf and
# legacy,netcdf (and tidy): the median wall time over RUNS runs (default 3)
# of a new output put in place, its ratio to legacy, the peak resident
# memory (/usr/bin/time) and the size of each output against the legacy
# CSV's. Prints figures; never passes or fails.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-3}"

source bench/timing.sh
build_bench .
out="$data/science-out"

size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }

printf '%-7s %-15s %8s %9s %9s %9s %9s %11s\n' kind format "conv s" "x legacy" "peak MB" \
  "csv MB" "nc MB" "tidy MB"
for kind in logger gauge; do
  dump=$(bench_dump "$kind" 200)
  set_types "$kind"
  cat "$dump" >/dev/null  # warm the page cache
  legacy=""
  for format in legacy netcdf legacy,netcdf tidy legacy,netcdf,tidy; do
    times=()
    for ((i = 0; i < runs; i++)); do
      rm -rf "$out"
      times+=("$(time_once "$cli" "${types[@]}" --format "$format" --tz UTC -o "$out" "$dump")")
    done
    rm -rf "$out"
    peak_mb=$(peak_rss_mb "$cli" "${types[@]}" --format "$format" --tz UTC -o "$out" "$dump")
    conv=$(printf '%s\n' "${times[@]}" | median)
    [[ -n $legacy ]] || legacy=$conv
    csv=- nc=- tidy=-
    [[ -f "$out/$kind-200.csv" ]] && csv=$(size_mb "$out/$kind-200.csv")
    [[ -f "$out/$kind-200.nc" ]] && nc=$(size_mb "$out/$kind-200.nc")
    [[ -f "$out/$kind-200.tidy.csv" ]] && tidy=$(size_mb "$out/$kind-200.tidy.csv")
    awk -v k="$kind" -v f="$format" -v c="$conv" -v l="$legacy" -v p="$peak_mb" -v a="$csv" \
      -v n="$nc" -v t="$tidy" \
      'BEGIN { printf "%-7s %-15s %8.3f %9.2f %9.1f %9s %9s %11s\n", k, f, c, c / l, p, a, n, t }'
    rm -rf "$out"
  done
done
