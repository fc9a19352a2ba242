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
# 20 MB dumps, whose runs are short). These rows append to an emptied
# output, which measures the conversion itself, comparable from commit to
# commit; a new output is in addition synced to disk before it is put in
# place, which the "new output" rows after them show. The emptied output is
# a new empty file: truncating one that holds data would make ext4 write it
# all out at close, which is not the conversion's time.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"

source bench/timing.sh
build_bench .

printf '%-8s %6s %10s %11s %12s %10s %12s\n' kind dumpMB "conv s" "in MB/s" "out MB/s" "x floor" "peak RSS MB"
for size in 20 200; do
  for kind in logger gauge; do
    dump=$(bench_dump "$kind" "$size")
    set_types "$kind"
    out="$data/out.csv"
    floor_out="$data/floor.out"
    cat "$dump" >/dev/null  # warm the page cache
    conv_times=() floor_times=()
    # Short runs are more at the mercy of a busy machine: take more of them.
    size_runs=$runs
    ((size < 200)) && size_runs=$((runs * 3))
    for ((i = 0; i < size_runs; i++)); do
      rm -f "$floor_out"
      rm -f "$out"
      : >"$out"
      conv_times+=("$(time_once "$cli" "${types[@]}" --append "$dump" "$out")")
      out_bytes=$(stat -c %s "$out")
      floor_times+=("$(time_once sh -c "cat '$dump' >/dev/null && dd if=/dev/zero of='$floor_out' bs=256K count=$out_bytes iflag=count_bytes status=none")")
    done
    rm -f "$out"
    rss_mb=$(peak_rss_mb "$cli" "${types[@]}" "$dump" "$data/out2.csv")
    rm -f "$out" "$data/out2.csv" "$floor_out"
    conv=$(printf '%s\n' "${conv_times[@]}" | median)
    floor=$(printf '%s\n' "${floor_times[@]}" | median)
    in_bytes=$(stat -c %s "$dump")
    awk -v k="$kind" -v s="$size" -v c="$conv" -v f="$floor" -v i="$in_bytes" -v o="$out_bytes" -v r="$rss_mb" \
      'BEGIN { printf "%-8s %6d %10.3f %11.1f %12.1f %10.2f %12.1f\n", k, s, c, i / c / 1e6, o / c / 1e6, c / f, r }'
  done
done

# A new output of the 200 MB dumps: written under a temporary name, synced
# to disk and put in place, as every new output is. Its floor is the same
# I/O with the same sync: cat of the dump, then dd of an output-sized file
# with conv=fsync. Goals: at most 1.3x that floor (logger), 1.1x (gauge).
# The last column is the conversion alone, into /dev/null (nothing written,
# nothing synced), against the same floor: no new output can beat it. The
# new output and the floor are each timed after an untimed run of their own
# (see warm_up in timing.sh).
echo
printf '%-8s %6s %10s %11s %11s %10s %13s %15s\n' "new out" dumpMB "conv s" "in MB/s" "vs append" "floor s" \
  "x sync floor" "/dev/null x fl"
for kind in logger gauge; do
  dump="$data/$kind-200.txt"
  set_types "$kind"
  new_times=() append_times=() synced_floor_times=() null_times=()
  for ((i = 0; i < runs; i++)); do
    null_times+=("$(time_once "$cli" "${types[@]}" --quiet "$dump" -)")
    rm -f "$data/out.csv"
    warm_up "$cli" "${types[@]}" "$dump" "$data/out.csv"
    rm -f "$data/out.csv"
    new_times+=("$(time_once "$cli" "${types[@]}" "$dump" "$data/out.csv")")
    out_bytes=$(stat -c %s "$data/out.csv")
    rm -f "$data/out.csv"
    : >"$data/out.csv"
    append_times+=("$(time_once "$cli" "${types[@]}" --append "$dump" "$data/out.csv")")
    rm -f "$data/out.csv" "$data/floor.out"
    floor_io="cat '$dump' >/dev/null && dd if=/dev/zero of='$data/floor.out' bs=256K count=$out_bytes iflag=count_bytes conv=fsync status=none"
    warm_up sh -c "$floor_io"
    rm -f "$data/floor.out"
    synced_floor_times+=("$(time_once sh -c "$floor_io")")
  done
  rm -f "$data/out.csv" "$data/floor.out"
  fresh=$(printf '%s\n' "${new_times[@]}" | median)
  appended=$(printf '%s\n' "${append_times[@]}" | median)
  synced_floor=$(printf '%s\n' "${synced_floor_times[@]}" | median)
  to_null=$(printf '%s\n' "${null_times[@]}" | median)
  awk -v k="$kind" -v t="$fresh" -v a="$appended" -v f="$synced_floor" -v n="$to_null" \
    -v i="$(stat -c %s "$dump")" \
    'BEGIN { printf "%-8s %6d %10.3f %11.1f %10.2fx %10.3f %12.2fx %14.2fx\n",
                    k, 200, t, i / t / 1e6, t / a, f, t / f, n / f }'
done

# Many dumps in one call: a dozen 10 MB dumps (six of each kind) with
# --jobs 1 and --jobs 2, into a folder (each output synced to disk) and with
# --check (nothing written); then 1,000 tiny dumps (the two samples, by turns)
# in one call. Medians of RUNS runs; figures only.
dozen="$data/dozen"
mkdir -p "$dozen"
for ((i = 1; i <= 12; i++)); do
  kind="logger"
  ((i % 2 == 0)) && kind=gauge
  [[ -f "$dozen/$kind-$i.txt" ]] || build-bench/bin/generate_dump "$kind" 10 "$dozen/$kind-$i.txt" "$i"
done
dozen_bytes=$(cat "$dozen"/*.txt | wc -c)
cat "$dozen"/*.txt >/dev/null
batch_out="$data/batch-out"

batch_median() {  # batch_median ARGS... : median seconds of RUNS calls
  local times=()
  for ((i = 0; i < runs; i++)); do
    rm -rf "$batch_out"
    times+=("$(time_once "$cli" --quiet "$@")")
  done
  rm -rf "$batch_out"
  printf '%s\n' "${times[@]}" | median
}

echo
printf '%-34s %10s %11s %12s\n' "12 x 10 MB dumps" "conv s" "in MB/s" "vs --jobs 1"
for form in output check; do
  if [[ $form == output ]]; then where=(-o "$batch_out"); else where=(--check); fi
  one=$(batch_median --jobs 1 "${where[@]}" "$dozen"/*.txt)
  two=$(batch_median --jobs 2 "${where[@]}" "$dozen"/*.txt)
  for jobs in 1 2; do
    if ((jobs == 1)); then t=$one; else t=$two; fi
    awk -v f="${where[0]} --jobs $jobs" -v t="$t" -v b="$dozen_bytes" -v o="$one" \
      'BEGIN { printf "%-34s %10.3f %11.1f %11.2fx\n", f, t, b / t / 1e6, o / t }'
  done
done

tiny="$data/tiny"
if [[ ! -f "$tiny/d1000.txt" ]]; then
  mkdir -p "$tiny"
  for ((i = 1; i <= 1000; i++)); do
    if ((i % 2)); then cp samples/logger_type2_dump.txt "$tiny/d$i.txt"; else cp samples/gauge_t10_dump.txt "$tiny/d$i.txt"; fi
  done
fi
echo
printf '%-34s %10s %11s\n' "1,000 tiny dumps in one call" "conv s" "ms per dump"
for where in "-o $batch_out" "--check"; do
  # shellcheck disable=SC2086  # the two words of the form
  t=$(batch_median $where "$tiny"/*.txt)
  awk -v f="${where%% *}" -v t="$t" 'BEGIN { printf "%-34s %10.3f %11.3f\n", f, t, t }'
done

# The reading listener's cost: the 200 MB dumps converted into /dev/null in
# one process, by turns without a listener and with one that counts.
build_bench . build-bench listener_bench
echo
printf '%-8s %12s %14s %10s %12s\n' listener "without s" "counting s" ratio readings
for kind in logger gauge; do
  build-bench/bin/listener_bench "$kind" "$data/$kind-200.txt" "$runs"
done

# The desktop program's preview of the 200 MB dumps: built from the
# conversion's own readings, so its cost is the listened conversion's extra
# time over the plain one.
build_bench . build-bench preview_bench
echo
printf '%-8s %10s %10s %8s %12s %14s\n' preview "plain s" "preview s" "extra %" readings "extra peak MB"
for kind in logger gauge; do
  times=()
  for ((i = 0; i < runs; i++)); do
    times+=("$(build-bench/bin/preview_bench "$kind" "$data/$kind-200.txt")")
  done
  # The row of the median listened time.
  printf '%s\n' "${times[@]}" | sort -g -k3 | sed -n "$(((runs + 1) / 2))p"
done
