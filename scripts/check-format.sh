#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (the repo's
# .clang-format, clang-format 14) makes of it. Fix with:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."

format="${CLANG_FORMAT:-clang-format}"
if ! command -v "$format" >/dev/null; then
  echo "check-format: $format not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
version="$("$format" --version)"
if [[ $version != *"version 14."* ]]; then
  echo "check-format: warning: expected clang-format 14, found: $version" >&2
fi

mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if "$format" --dry-run -Werror "${files[@]}"; then
  echo "check-format: ${#files[@]} files formatted"
else
  echo "check-format: the files above are not formatted" >&2
  exit 1
fi
