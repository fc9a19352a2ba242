#!/usr/bin/env bash
# Conversion throughput against the machine's I/O floor.
#
#   bench/run.sh [RUNS]
#
# Builds a Release command-line converter into build-bench/, generates a
# logger dump and a gauge dump of 20 MB and of 200 MB into bench/data/, and
# for each prints: input MB/s, output MB/s, the ratio of conversion time to
# the I/O floor (reading the dump with cat and writing a file of the
# output's size with dd in 256 KiB blocks, measured in the same run), and
# the peak resident memory.
# Times are medians of RUNS runs (default 5; three times as many for the
# 20 MB dumps, whose runs are short).
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
data=bench/data
mkdir -p "$data"

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORQ_BUILD_GUI=OFF \
  -DZORQ_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target zorqconvert-cli generate_dump >/dev/null
cli=build-bench/bin/zorqconvert-cli

now() { echo "$EPOCHREALTIME"; }  # no process started to read the clock

# Median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

time_once() {  # command... ; prints seconds
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

printf '%-8s %6s %10s %11s %12s %10s %12s\n' kind dumpMB "conv s" "in MB/s" "out MB/s" "x floor" "peak RSS MB"
for size in 20 200; do
  for kind in logger gauge; do
    dump="$data/$kind-$size.txt"
    [[ -f "$dump" ]] || build-bench/bin/generate_dump "$kind" "$size" "$dump"
    if [[ $kind == logger ]]; then types=(--from-type 2 --to-type 0); else types=(--from-type 3 --to-type 1); fi
    out="$data/out.csv"
    floor_out="$data/floor.out"
    cat "$dump" >/dev/null  # warm the page cache
    conv_times=() floor_times=()
    # Short runs are more at the mercy of a busy machine: take more of them.
    size_runs=$runs
    ((size < 200)) && size_runs=$((runs * 3))
    for ((i = 0; i < size_runs; i++)); do
      rm -f "$out" "$floor_out"
      conv_times+=("$(time_once "$cli" "${types[@]}" "$dump" "$out")")
      out_bytes=$(stat -c %s "$out")
      floor_times+=("$(time_once sh -c "cat '$dump' >/dev/null && dd if=/dev/zero of='$floor_out' bs=256K count=$out_bytes iflag=count_bytes status=none")")
    done
    rm -f "$out"
    rss_kb=$(/usr/bin/time -f '%M' -o "$data/rss" "$cli" "${types[@]}" "$dump" "$data/out2.csv" >/dev/null 2>&1; cat "$data/rss")
    rm -f "$out" "$data/out2.csv" "$floor_out"
    conv=$(printf '%s\n' "${conv_times[@]}" | median)
    floor=$(printf '%s\n' "${floor_times[@]}" | median)
    in_bytes=$(stat -c %s "$dump")
    awk -v k="$kind" -v s="$size" -v c="$conv" -v f="$floor" -v i="$in_bytes" -v o="$out_bytes" -v r="$rss_kb" \
      'BEGIN { printf "%-8s %6d %10.3f %11.1f %12.1f %10.2f %12.1f\n", k, s, c, i / c / 1e6, o / c / 1e6, c / f, r / 1024 }'
  done
done

# The desktop program's preview of the 200 MB conversions: reading the whole
# output into its min/max buckets after the conversion ends.
cmake --build build-bench --target preview_bench >/dev/null
echo
printf '%-8s %8s %10s %10s %12s %14s\n' preview csvMB "read s" "MB/s" readings "extra peak MB"
for kind in logger gauge; do
  dump="$data/$kind-200.txt"
  if [[ $kind == logger ]]; then types=(--from-type 2 --to-type 0); else types=(--from-type 3 --to-type 1); fi
  rm -f "$data/preview.csv"
  "$cli" "${types[@]}" "$dump" "$data/preview.csv" >/dev/null 2>&1 || true
  cat "$data/preview.csv" >/dev/null  # just written: in the page cache, as after a conversion
  times=()
  for ((i = 0; i < runs; i++)); do
    times+=("$(build-bench/bin/preview_bench "$kind" "$data/preview.csv")")
  done
  # The row of the median read time.
  printf '%s\n' "${times[@]}" | sort -g -k3 | sed -n "$(((runs + 1) / 2))p"
  rm -f "$data/preview.csv"
done
