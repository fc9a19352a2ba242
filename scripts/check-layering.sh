#!/usr/bin/env bash
# Each room of the source tree may include only the rooms below it (see
# docs/architecture.md). Reads every `#include "room/..."` line of the
# tracked .cpp and .h files and fails when a room includes one it may not,
# or when Qt is included outside the rooms that may use it. A room that
# does not exist (yet) is simply not checked.
set -euo pipefail
cd "$(dirname "$0")/.."

# The rooms each room may include (itself among them).
declare -A allowed=(
  [runtime]="runtime"
  [convert]="convert runtime"
  [qc]="qc convert runtime"
  [netcdf]="netcdf convert runtime"
  [science]="science qc netcdf convert runtime"
  [waves]="waves qc netcdf convert runtime"
  [outputs]="outputs science waves qc netcdf convert runtime"
  [app]="app convert runtime"
  [cli]="cli outputs science waves qc convert runtime"
  [desktop]="desktop app outputs science waves qc convert runtime"
  [tools]="tools desktop app outputs science waves qc convert runtime"
  [python]="python outputs science waves qc netcdf convert runtime"
)
# Every folder an include may name; tests/, fuzz/ and bench/ may include
# any room, and no room may include them.
known_rooms="runtime convert qc netcdf science waves outputs app cli desktop tools python tests fuzz bench"
# The writers of the outputs: the programs reach them only through
# outputs/, which plans, writes and places every output of a conversion.
writer_headers='^(netcdf/.*|science/(netcdf_writer|tidy_writer|science_outputs)\.h|waves/wave_netcdf\.h)$'
# Where Qt may be included: the Qt backend of the run-time layer, the
# desktop program, the tools and the Qt tests.
qt_folders='^(runtime/qt|desktop|tools|tests/qt)/'
# The one room of the program that includes the NetCDF library's header.
netcdf_folders='^(netcdf|tests|fuzz|bench)/'

broken=0
complain() {
  echo "check-layering: $1" >&2
  broken=1
}

while IFS= read -r source; do
  room="${source%%/*}"
  [[ -v "allowed[$room]" ]] || continue
  while IFS=: read -r line target; do
    included="${target%%/*}"
    [[ " $known_rooms " == *" $included "* ]] || continue
    if [[ " ${allowed[$room]} " != *" $included "* ]]; then
      complain "$source:$line includes $target; $room may include ${allowed[$room]// /, }"
    elif [[ $room == cli || $room == desktop ]] && [[ $target =~ $writer_headers ]]; then
      complain "$source:$line includes $target; $room reaches the writers only through outputs/"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"/]+/' "$source" |
    sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
  if [[ ! $source =~ $qt_folders ]] &&
    grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$source" >/dev/null; then
    line="$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$source" | head -n1)"
    complain "$source:${line%%:*} includes Qt; only runtime/qt, desktop, tools and tests/qt may"
  fi
  if [[ ! $source =~ $netcdf_folders ]] &&
    grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<netcdf\.h>' "$source" >/dev/null; then
    complain "$source includes netcdf.h; only netcdf/ may"
  fi
done < <(git ls-files -- '*.cpp' '*.h')

if ((broken)); then
  exit 1
fi
echo "check-layering: every room includes only the rooms it may"
