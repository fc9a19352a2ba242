#!/usr/bin/env bash
# What the wave statistics add to a conversion.
#
#   bench/waves.sh [RUNS]
#
# For the 200 MB logger and gauge dumps of run.sh: the time of RUNS runs
# (default 5) of the conversion alone and of the same conversion with
# --waves, median and fastest, their ratio, the number of segments, and the
# peak resident memory of each (/usr/bin/time). The statistics are worked
# out on a thread beside the conversion, so the ratio depends on a second
# core being free: the two runs alternate, so that a busy machine slows both
# alike, and the fastest runs show what an idle one gives. Both append to
# an emptied output, as run.sh's rows do; the statistics' CSV is a new file.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"

source bench/timing.sh
build_bench .

minimum() { sort -g | head -1; }

printf '%-8s %6s %10s %10s %8s %10s %10s %8s %9s %8s %14s\n' kind dumpMB "conv s" "+waves s" \
  ratio "min conv" "min +wav" "min rat" segments "RSS MB" "+waves RSS MB"
for kind in logger gauge; do
  dump=$(bench_dump "$kind" 200)
  set_types "$kind"
  out="$data/out.csv"
  waves="$data/out.waves.csv"
  cat "$dump" >/dev/null  # warm the page cache
  alone=() with=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$out" && : >"$out"
    alone+=("$(time_once "$cli" "${types[@]}" --append "$dump" "$out")")
    rm -f "$out" "$waves" && : >"$out"
    with+=("$(time_once "$cli" "${types[@]}" --append --waves "$waves" "$dump" "$out")")
  done
  segments=$(($(wc -l <"$waves") - 1))
  rm -f "$out" "$waves" && : >"$out"
  rss_alone=$(peak_rss_mb "$cli" "${types[@]}" --append "$dump" "$out")
  rm -f "$out" "$waves" && : >"$out"
  rss_with=$(peak_rss_mb "$cli" "${types[@]}" --append --waves "$waves" "$dump" "$out")
  rm -f "$out" "$waves"
  awk -v k="$kind" -v c="$(printf '%s\n' "${alone[@]}" | median)" \
    -v w="$(printf '%s\n' "${with[@]}" | median)" -v cm="$(printf '%s\n' "${alone[@]}" | minimum)" \
    -v wm="$(printf '%s\n' "${with[@]}" | minimum)" -v n="$segments" -v r="$rss_alone" \
    -v rw="$rss_with" 'BEGIN { printf "%-8s %6d %10.3f %10.3f %8.2f %10.3f %10.3f %8.2f %9d %8s %14s\n",
      k, 200, c, w, w / c, cm, wm, wm / cm, n, r, rw }'
done
