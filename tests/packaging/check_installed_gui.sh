#!/usr/bin/env bash
# Starts the installed desktop program under prefix $1 on the offscreen
# platform with --check-panel: it must find its panel file in the data folder
# beside its own and show it. A copy of the program away from that folder
# must fail to, which shows the panel came from the install ($2 is the data
# folder configured into the build, the program's last place to look). The
# dump $3 is given as a launcher gives it (%F) and must open as the From file.
set -uo pipefail
prefix=$1 configured_data_dir=$2 dump=$3
export QT_QPA_PLATFORM=offscreen
output=$("$prefix/bin/zorqconvert" --check-panel "$dump" 2>&1)
status=$?
printf '%s\n' "$output"
if ((status != 0)) || [[ $output != *"loads and shows"* ]]; then
  echo "check_installed_gui: the installed program did not load its panel (status $status)"
  exit 1
fi
if [[ $output == *"open the From file from the File menu"* ]]; then
  echo "check_installed_gui: the dump given on the command line did not open"
  exit 1
fi

if [[ -f $configured_data_dir/ZORQConvert.uir ]]; then
  echo "check_installed_gui: $configured_data_dir holds a panel file; the check away from the install is left out"
  exit 0
fi
away=$(mktemp -d)
trap 'rm -rf "$away"' EXIT
mkdir "$away/bin"
cp "$prefix/bin/zorqconvert" "$away/bin/"
output=$("$away/bin/zorqconvert" --check-panel 2>&1)
status=$?
if ((status == 0)) || [[ $output != *"was not found"* ]]; then
  printf '%s\n' "$output"
  echo "check_installed_gui: a copy away from the install still found a panel (status $status)"
  exit 1
fi
echo "check_installed_gui: the installed program loads the panel from $prefix/share/zorqconvert"
