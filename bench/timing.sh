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
