#!/usr/bin/env bash
# How --jobs 2 scales against how the machine scales, in one run: 12 hard
# links to one 10 MB logger dump are checked (--check) and converted (-o)
# with --jobs 1 and --jobs 2, and beside them two `gzip -1` processes run one
# after the other and then at once. All four are run by turns, RUNS times
# (default 5), so that load on the machine falls on each alike; the medians
# and the speed-ups are printed.
#
#   bench/jobs.sh [RUNS] [CLI]    (CLI: default build-bench/bin/zorqconvert-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
cli="${2:-}"
data=bench/data
mkdir -p "$data"

if [[ -z "$cli" ]]; then
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORQ_BUILD_GUI=OFF \
    -DZORQ_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench --target zorqconvert-cli generate_dump >/dev/null
  cli=build-bench/bin/zorqconvert-cli
fi
generate="$(dirname "$cli")/generate_dump"

source bench/timing.sh

dump="$data/logger-10.txt"
[[ -f "$dump" ]] || "$generate" logger 10 "$dump"
work="$(mktemp -d "${TMPDIR:-/tmp}/zorq-jobs-XXXXXX")"
trap 'rm -rf "$work"' EXIT
inputs=()
for i in $(seq -w 1 12); do
  ln "$dump" "$work/copy-$i.txt" 2>/dev/null || cp "$dump" "$work/copy-$i.txt"
  inputs+=("$work/copy-$i.txt")
done
cat "$dump" >/dev/null  # warm the page cache
types=(--from-type 2 --to-type 0)

check() { "$cli" --quiet --check --jobs "$1" "${types[@]}" "${inputs[@]}"; }
convert() {
  rm -rf "$work/out"
  "$cli" --quiet --jobs "$1" "${types[@]}" -o "$work/out" "${inputs[@]}"
}
gzip_serial() { gzip -1 -c "$dump" >/dev/null && gzip -1 -c "$dump" >/dev/null; }
gzip_parallel() {
  gzip -1 -c "$dump" >/dev/null &
  gzip -1 -c "$dump" >/dev/null
  wait
}

c1=() c2=() o1=() o2=() g1=() g2=()
for ((i = 0; i < runs; i++)); do
  c1+=("$(time_once check 1)")
  c2+=("$(time_once check 2)")
  o1+=("$(time_once convert 1)")
  o2+=("$(time_once convert 2)")
  g1+=("$(time_once gzip_serial)")
  g2+=("$(time_once gzip_parallel)")
done

row() {  # NAME ONE-AFTER-THE-OTHER... -- AT-ONCE...
  local name=$1 one two
  shift
  one=$(printf '%s\n' "$1" | tr ' ' '\n' | median)
  two=$(printf '%s\n' "$2" | tr ' ' '\n' | median)
  awk -v n="$name" -v a="$one" -v b="$two" \
    'BEGIN { printf "%-26s %9.3f %9.3f %8.2fx\n", n, a, b, a / b }'
}
echo "12 links to a 10 MB logger dump; $(nproc) cores; medians of $runs runs by turns"
printf '%-26s %9s %9s %9s\n' "" "1 job s" "2 jobs s" speed-up
row "--check" "${c1[*]}" "${c2[*]}"
row "-o DIR" "${o1[*]}" "${o2[*]}"
row "gzip -1 (2 files)" "${g1[*]}" "${g2[*]}"
