# Shared by the benchmark scripts (sourced, not run): the clock, medians and
# the converter's types for each kind of dump.

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

# Sets `types` to the From and To types of a KIND (logger or gauge) dump.
set_types() {
  if [[ $1 == logger ]]; then types=(--from-type 2 --to-type 0); else types=(--from-type 3 --to-type 1); fi
}

# The set-up every benchmark shares, run from the top of the tree: a Release
# command-line converter and the dump generator built into build-bench/
# (with TARGETS... more of its targets), `cli` naming the converter and
# `data` the folder of dumps and outputs.
build_bench() {
  data=bench/data
  mkdir -p "$data"
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORQ_BUILD_GUI=OFF \
    -DZORQ_BUILD_TESTS=OFF >/dev/null
  cmake --build build-bench --target zorqconvert-cli generate_dump "$@" >/dev/null
  cli=build-bench/bin/zorqconvert-cli
}

# Sets `dump` to the KIND (logger or gauge) dump of SIZE MB, made when missing.
bench_dump() {
  dump="$data/$1-$2.txt"
  [[ -f "$dump" ]] || build-bench/bin/generate_dump "$1" "$2" "$dump"
}

peak_rss_mb() {  # command... ; prints the peak resident memory in MB
  /usr/bin/time -f '%M' -o "$data/rss" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.1f", $1 / 1024 }' "$data/rss"
  rm -f "$data/rss"
}
