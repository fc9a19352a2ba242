#!/usr/bin/env bash
# The CMakeLists.txt files name their sources one by one. Fails when a
# tracked .cpp file is not named in its own folder's CMakeLists.txt (by its
# name, or by its stem where a list of targets names the files), so a file
# added or brought in by a merge cannot be left out of the build.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=0
while IFS= read -r source; do
  folder="$(dirname "$source")"
  stem="$(basename "$source" .cpp)"
  list="$folder/CMakeLists.txt"
  if [[ ! -f $list ]] || ! grep -Eq "(^|[[:space:]/(])${stem}(\.cpp)?([[:space:])]|$)" "$list"; then
    echo "check-source-lists: $source is not named in $list" >&2
    missing=1
  fi
done < <(git ls-files -- '*.cpp')
if ((missing)); then
  exit 1
fi
echo "check-source-lists: every .cpp file is in its folder's list"
