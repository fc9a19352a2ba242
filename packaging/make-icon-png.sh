#!/usr/bin/env bash
# Renders the 48x48 PNG icon from the scalable one. Run it after changing
# zorqconvert.svg and commit both; the build does not need rsvg-convert
# (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
rsvg-convert --width 48 --height 48 --format png --output zorqconvert-48.png zorqconvert.svg
