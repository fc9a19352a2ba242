#!/usr/bin/env bash
# Checks the files an install under prefix $1 lays out; $2 is the id of the
# application, $3 ON when the desktop program was built.
set -uo pipefail
prefix=$1 id=$2 gui=$3
failures=0

expect() { # expect present|absent PATH
  if [[ $1 == present && ! -f $prefix/$2 ]]; then
    echo "missing: $2"
    failures=$((failures + 1))
  elif [[ $1 == absent && -e $prefix/$2 ]]; then
    echo "should not be installed without the desktop program: $2"
    failures=$((failures + 1))
  fi
}

# Width and height from a PNG's header (bytes 16 to 23, big-endian).
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

expect present bin/zorqconvert-cli
expect present share/man/man1/zorqconvert-cli.1
expect present share/bash-completion/completions/zorqconvert-cli
expect present share/doc/zorqconvert/copyright
desktop_files=(
  bin/zorqconvert
  "share/applications/$id.desktop"
  "share/metainfo/$id.metainfo.xml"
  share/icons/hicolor/scalable/apps/zorqconvert.svg
  share/icons/hicolor/48x48/apps/zorqconvert.png
)
for path in "${desktop_files[@]}"; do
  if [[ $gui == ON ]]; then expect present "$path"; else expect absent "$path"; fi
done
if [[ $gui == ON ]]; then
  expect present share/zorqconvert/ZORQConvert.uir
fi
png=$prefix/share/icons/hicolor/48x48/apps/zorqconvert.png
if [[ $gui == ON && -f $png ]]; then
  size=$(png_size "$png")
  if [[ $size != 48x48 ]]; then
    echo "the 48x48 icon is $size"
    failures=$((failures + 1))
  fi
fi
if ((failures > 0)); then
  exit 1
fi
echo "check_layout: every file is in place under $prefix"
