# shellcheck shell=bash disable=SC2034  # sets `cli` and `types` for the scripts that source it
# Shared by the benchmark scripts (sourced, not run, from the top of the
# tree): the Release build they time, the clock, medians, peak memory, the
# generated dumps and the converter's types for each kind of dump.

data=bench/data
mkdir -p "$data"

# Builds TARGETs (by default the converter and generate_dump) in Release,
# without Qt or the tests, from SOURCE (default .) into BUILD-DIR (default
# build-bench), and sets `cli` to its converter.
build_bench() {  # [SOURCE [BUILD-DIR [TARGET...]]]
  local source="${1:-.}" dir="${2:-build-bench}"
  local targets=("${@:3}")
  ((${#targets[@]})) || targets=(zorqconvert-cli generate_dump)
  cmake -S "$source" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORQ_BUILD_GUI=OFF \
    -DZORQ_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" --target "${targets[@]}" >/dev/null
  cli="$dir/bin/zorqconvert-cli"
}

# Prints the path of the generated KIND (logger or gauge) dump of SIZE MB,
# made by build-bench's generate_dump when missing. BENCH_SIGNAL=waves
# takes readings that follow swells instead of uniform noise (see
# generate_dump.cpp).
bench_dump() {  # KIND SIZE
  local signal="${BENCH_SIGNAL:-noise}" dump="$data/$1-$2.txt"
  [[ $signal == noise ]] || dump="$data/$1-$2-$signal.txt"
  mkdir -p "$data"
  [[ -f "$dump" ]] || build-bench/bin/generate_dump "$1" "$2" "$dump" 1 0 "$signal"
  echo "$dump"
}

# On a virtual machine whose host takes back the memory its guest frees,
# the first touch of a page costs many times the touch of one reused (here a
# 1.6 GB dd took 4.2 s of system time, and 0.4 s right after): a run that
# needs more page cache than the run before it freed pays for that, whatever
# it runs. So each timed command is run once before, untimed, and the timed
# run reuses the pages that run freed. BENCH_COLD=1 leaves this out.
warm_up() {  # COMMAND...
  [[ -n ${BENCH_COLD:-} ]] || "$@" >/dev/null 2>&1 || true
}

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

peak_rss_mb() {  # command... ; prints the command's peak resident memory in MB
  local file
  file=$(mktemp)
  /usr/bin/time -f '%M' -o "$file" "$@" >/dev/null 2>&1 || true
  awk '{ kb = $1 } END { printf "%.1f", kb / 1024 }' "$file"
  rm -f "$file"
}
