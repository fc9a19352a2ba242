#!/usr/bin/env bash
# A deployment's dumps merged into one NetCDF file against the same dumps
# converted one by one, in one run:
#
#   bench/merge.sh [RUNS] [DUMPS] [SPACING_DAYS]   (default: 5 runs, 10 dumps, 11 days)
#
# generate_dump makes DUMPS logger dumps of 20 MB, each starting
# SPACING_DAYS after the one before (a 20 MB dump runs for about eleven and
# a half days, so the default overlaps each with the next by a few hours).
# Each run times `--merge` of all of them and `-o DIR --format netcdf
# --jobs 1` of all of them, by turns, the merge given the dumps in reverse
# order. It prints the median wall and processor times of each, the merge's
# ratio to one by one (the goal: at most 1.2), both peak resident memories,
# and what the merge's JSON report said of the overlap. Figures only; it
# never passes or fails.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
count="${2:-10}"
spacing="${3:-11}"
source bench/timing.sh
build_bench .
folder="$data/merge-$count-$spacing"
mkdir -p "$folder"
dumps=()
for ((i = 0; i < count; i++)); do
  dump="$folder/dump$(printf %02d "$i").txt"
  [[ -f "$dump" ]] || build-bench/bin/generate_dump logger 20 "$dump" "$((i + 1))" "$((i * spacing))"
  dumps+=("$dump")
done
reversed=()
for ((i = count - 1; i >= 0; i--)); do reversed+=("${dumps[$i]}"); done
out="$data/merge-out"
measured="$data/merge-time"
cat "${dumps[@]}" >/dev/null  # warm the page cache

merge_cmd=("$cli" --from-type 2 --tz UTC --quiet --overwrite --merge "$out/merged.nc" "${reversed[@]}")
each_cmd=("$cli" --from-type 2 --tz UTC --quiet --overwrite --format netcdf --jobs 1 -o "$out" "${dumps[@]}")

declare -A wall=() cpu=() peak=()
for ((run = 0; run < runs; run++)); do
  for name in each merge; do
    rm -rf "$out" && mkdir -p "$out"
    if [[ $name == merge ]]; then cmd=("${merge_cmd[@]}"); else cmd=("${each_cmd[@]}"); fi
    warm_up "${cmd[@]}"
    rm -rf "$out" && mkdir -p "$out"
    /usr/bin/time -f '%e %U %S %M' -o "$measured" "${cmd[@]}" >/dev/null 2>&1 || true
    read -r e u s m <"$measured"
    wall[$name]+="$e "
    cpu[$name]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    ((m > ${peak[$name]:-0})) && peak[$name]=$m
  done
done
report=$("$cli" --from-type 2 --tz UTC --json --overwrite --merge "$out/merged.nc" "${reversed[@]}" 2>/dev/null | tail -1)
rm -rf "$out" "$measured"

echo "$count logger dumps of 20 MB, $spacing days apart; medians of $runs runs"
printf '%-12s %8s %7s %8s %7s %8s\n' "" "wall s" x "cpu s" x "peak MB"
for name in each merge; do
  w=$(tr ' ' '\n' <<<"${wall[$name]}" | grep . | median)
  c=$(tr ' ' '\n' <<<"${cpu[$name]}" | grep . | median)
  [[ $name == each ]] && { base_w=$w base_c=$c; }
  awk -v n="$([[ $name == each ]] && echo "one by one" || echo "--merge")" -v w="$w" -v bw="$base_w" \
    -v c="$c" -v bc="$base_c" -v p="${peak[$name]}" \
    'BEGIN { printf "%-12s %8.2f %7.2f %8.2f %7.2f %8.1f\n", n, w, w / bw, c, c / bc, p / 1024 }'
done
"${PYTHON:-/usr/bin/python3}" - "$report" <<'PY'
import json, sys
r = json.loads(sys.argv[1])
print(f"merge: exit {r['exit']}, {r['duplicates']} readings given twice, "
      f"{r['conflicts']} conflicts, at most {r['most_held']} readings held")
PY
