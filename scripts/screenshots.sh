#!/usr/bin/env bash
# Takes the README's pictures of the desktop program under Xvfb: the main
# window after converting the sample logger dump, the conversion's details,
# the preview, File > Export with its time-zone field and View > Wave
# statistics, then the wave window again after a long gauge dump made by
# the bench generator (about 4,000 bursts, each a segment). Writes
# docs/screenshot-{main,details,preview,export,waves,waves-long}.png.
#
#   scripts/screenshots.sh [BUILD_DIR]
#
# Installs Xvfb (Debian's xvfb and xauth) when it is missing and this runs
# as root.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

if ! command -v xvfb-run >/dev/null; then
  if ((EUID != 0)); then
    echo "screenshots: xvfb-run is missing; install the packages xvfb and xauth" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends xvfb xauth
fi

cmake -S . -B "$build" -G Ninja -DZORQ_BUILD_GUI=ON >/dev/null
cmake --build "$build" --target zorqconvert-screenshots generate_dump -j2 >/dev/null

# The samples are copied and converted here, so that the main window shows
# these paths rather than wherever the checkout happens to be.
out=/tmp/zorqconvert-demo
rm -rf "$out"
mkdir -p "$out/samples"
cp samples/*.txt "$out/samples/"
# A burst every 2 min: 12 MB holds about 4,000 of them, a few seconds' work.
"$build/bin/generate_dump" gauge 12 "$out/long_gauge.txt" >/dev/null
# A real X server with no window manager; the program grabs its own windows.
xvfb-run -a -s "-screen 0 1280x1024x24" \
  env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb \
  "$build/bin/zorqconvert-screenshots" "$out/samples" "$out" "$out/long_gauge.txt"
for name in main details preview export waves waves-long; do
  cp "$out/screenshot-$name.png" "docs/screenshot-$name.png"
  echo "docs/screenshot-$name.png"
done
