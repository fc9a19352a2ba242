#!/usr/bin/env bash
# The science outputs against the legacy CSV, on the 200 MB dumps of
# bench/run.sh, in one run:
#
#   bench/science.sh [RUNS] [FORMAT...]    (default: 5 runs; legacy netcdf legacy,netcdf)
#
# A FORMAT ending in +qc (netcdf+qc, netcdf,tidy+qc) runs with
# bench/qc-deployment.json, which configures all four QARTOD tests on the
# readings: `bench/science.sh 5 netcdf,tidy netcdf,tidy+qc` times the tests.
# The dumps' readings are uniform noise, so that about half of them fail
# the spike test and the flags compress badly; BENCH_SIGNAL=waves times the
# same on readings that follow swells, as in the sea.
#
# Each run converts the dump once with each --format by turns, in the
# order given and reversed every other run, a new output put in place under
# -o, so that a busy machine slows every format alike and none always runs
# right after another. For each kind of dump and format it prints the median
# wall time and its ratio to legacy's, the median processor time (user and
# system, all threads) and its ratio, the peak resident memory of all runs,
# and the sizes of the CSV and NetCDF outputs. Figures only; it never
# passes or fails. The goal: legacy,netcdf in at most 2x the legacy time,
# under 64 MB.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
shift || true
formats=("$@")
((${#formats[@]})) || formats=(legacy netcdf legacy,netcdf)
source bench/timing.sh
build_bench .
out="$data/science-out"
measured="$data/science-time"

size_mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }

echo "medians of $runs runs; x: against --format ${formats[0]}"
printf '%-7s %-15s %8s %7s %8s %7s %8s %8s %8s %7s\n' kind format "wall s" x "cpu s" x \
  "peak MB" "csv MB" "nc MB" "nc/csv"
for kind in logger gauge; do
  dump=$(bench_dump "$kind" 200)
  name=$(basename "$dump" .txt)
  set_types "$kind"
  cat "$dump" >/dev/null  # warm the page cache
  declare -A wall=() cpu=() peak=() csv=() nc=()
  for ((i = 0; i < runs; i++)); do
    order=("${formats[@]}")
    if ((i % 2)); then
      for ((j = 0; j < ${#formats[@]}; j++)); do order[j]=${formats[${#formats[@]} - 1 - j]}; done
    fi
    for format in "${order[@]}"; do
      qc=()
      [[ $format == *+qc ]] && qc=(--deployment bench/qc-deployment.json)
      rm -rf "$out"
      warm_up "$cli" "${types[@]}" --format "${format%+qc}" "${qc[@]}" --tz UTC --quiet -o "$out" \
        "$dump"
      rm -rf "$out"
      /usr/bin/time -f '%e %U %S %M' -o "$measured" "$cli" "${types[@]}" --format "${format%+qc}" \
        "${qc[@]}" --tz UTC --quiet -o "$out" "$dump" >/dev/null 2>&1 || true
      read -r e u s m <"$measured"
      wall[$format]+="$e "
      cpu[$format]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
      ((m > ${peak[$format]:-0})) && peak[$format]=$m
      csv[$format]=- nc[$format]=-
      [[ -f "$out/$name.csv" ]] && csv[$format]=$(size_mb "$out/$name.csv")
      [[ -f "$out/$name.nc" ]] && nc[$format]=$(size_mb "$out/$name.nc")
    done
  done
  rm -rf "$out" "$measured"
  base_wall="" base_cpu="" base_csv=""
  for format in "${formats[@]}"; do
    w=$(tr ' ' '\n' <<<"${wall[$format]}" | grep . | median)
    c=$(tr ' ' '\n' <<<"${cpu[$format]}" | grep . | median)
    [[ -n $base_wall ]] || { base_wall=$w base_cpu=$c; }
    [[ ${csv[$format]} != - ]] && base_csv=${csv[$format]}
    awk -v k="$kind" -v f="$format" -v w="$w" -v bw="$base_wall" -v c="$c" -v bc="$base_cpu" \
      -v p="${peak[$format]}" -v a="${csv[$format]}" -v n="${nc[$format]}" -v ba="$base_csv" \
      'BEGIN { r = (n != "-" && ba != "") ? sprintf("%.2f", n / ba) : "-";
               printf "%-7s %-15s %8.2f %7.2f %8.2f %7.2f %8.1f %8s %8s %7s\n",
                      k, f, w, w / bw, c, c / bc, p / 1024, a, n, r }'
  done
  unset wall cpu peak csv nc
done
