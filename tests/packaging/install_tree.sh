#!/usr/bin/env bash
# Installs the build folder $1 afresh under the prefix $2, as a user's
# `cmake --install` would.
set -euo pipefail
rm -rf "$2"
cmake --install "$1" --prefix "$2"
