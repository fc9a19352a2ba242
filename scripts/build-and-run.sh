#!/usr/bin/env bash
# Installs what is needed, builds into build/, and starts the desktop
# program (build/bin/zorqconvert). Without a display it converts the bundled
# sample dumps with the command-line converter instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DZORQ_BUILD_GUI=ON >/dev/null
cmake --build build

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec build/bin/zorqconvert
fi

echo "No display found: converting the sample dumps with build/bin/zorqconvert-cli instead."
out="$(mktemp -d)"
build/bin/zorqconvert-cli --from-type 2 --to-type 0 samples/logger_type2_dump.txt "$out/logger.csv"
build/bin/zorqconvert-cli --from-type 3 --to-type 1 samples/gauge_t10_dump.txt "$out/gauge.csv"
echo "Output written to $out"
