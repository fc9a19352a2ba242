#!/usr/bin/env bash
# Many inputs in one call: 100 and 5,000 small dumps (the two samples, by
# turns) converted with -o under `ulimit -v 2000000`, as clusters often set,
# with --jobs 1 and 2. Prints the exit status, the outputs made and the peak
# resident memory of each call: it should stay flat from 100 inputs to 5,000.
#
#   bench/many_inputs.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source bench/timing.sh
build_bench . build-bench zorqconvert-cli

many="$data/many"
if [[ ! -f "$many/d5000.txt" ]]; then
  mkdir -p "$many"
  for ((i = 1; i <= 5000; i++)); do
    if ((i % 2)); then cp samples/logger_type2_dump.txt "$many/d$i.txt"; else cp samples/gauge_t10_dump.txt "$many/d$i.txt"; fi
  done
fi
out="$data/many-out"

printf '%-8s %6s %6s %8s %12s\n' inputs jobs exit outputs "peak RSS MB"
for count in 100 5000; do
  files=()
  for ((i = 1; i <= count; i++)); do files+=("$many/d$i.txt"); done
  for jobs in 1 2; do
    rm -rf "$out"
    status=0
    (ulimit -v 2000000 && /usr/bin/time -f '%M' -o "$data/rss" "$cli" --quiet --jobs "$jobs" -o "$out" "${files[@]}" 2>/dev/null) || status=$?
    made=$(find "$out" -name '*.csv' 2>/dev/null | wc -l)
    awk -v n="$count" -v j="$jobs" -v s="$status" -v m="$made" -v r="$(tail -1 "$data/rss")" \
      'BEGIN { printf "%-8d %6d %6d %8d %12.1f\n", n, j, s, m, r / 1024 }'
  done
done
rm -rf "$out"
