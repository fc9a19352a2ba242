#!/usr/bin/env bash
# Converts the bundled samples with the installed zorqconvert-cli under prefix
# $1 and with the build's $2; the outputs must be the same bytes.
set -euo pipefail
prefix=$1 built=$2 samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert() { # convert CLI FROM_TYPE TO_TYPE SAMPLE OUTPUT
  "$1" --from-type "$2" --to-type "$3" "$samples/$4" "$5" 2>"$5.status"
  tail -n 1 "$5.status"
}
for case in "2 0 logger_type2_dump.txt" "3 1 gauge_t10_dump.txt"; do
  read -r from to sample <<<"$case"
  convert "$prefix/bin/zorqconvert-cli" "$from" "$to" "$sample" "$work/installed.csv"
  convert "$built" "$from" "$to" "$sample" "$work/built.csv"
  cmp "$work/installed.csv" "$work/built.csv"
  echo "check_installed_cli: $sample converts to the same $(wc -c <"$work/built.csv") bytes"
  rm -f "$work"/*.csv
done

# NetCDF is loaded when a NetCDF output is asked for, never at start: a
# linked libnetcdf brings about forty libraries into every conversion.
installed="$prefix/bin/zorqconvert-cli"
if readelf -d "$installed" | grep -q 'NEEDED.*libnetcdf'; then
  echo "check_installed_cli: zorqconvert-cli links libnetcdf; it must load it on demand" >&2
  exit 1
fi
"$installed" --quiet --format netcdf --units m -o "$work/nc" "$samples/gauge_t10_dump.txt"
[[ "$(head -c 4 "$work/nc/gauge_t10_dump.nc" | od -An -c | tr -d ' ')" == '211HDF' ]]
echo "check_installed_cli: the NetCDF library loads on demand and writes gauge_t10_dump.nc"
