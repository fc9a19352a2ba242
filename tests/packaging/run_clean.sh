#!/usr/bin/env bash
# Runs a validator and fails when it fails or prints anything besides the
# lines that --allow REGEX (an extended regular expression) lets through:
# hints and warnings count as failures, as does a validator that is missing.
#   run_clean.sh [--allow REGEX] COMMAND [ARGUMENT...]
set -uo pipefail
allow=
if [[ ${1-} == --allow ]]; then
  allow=$2
  shift 2
fi
if ! command -v "$1" >/dev/null; then
  echo "run_clean: $1 is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if ((status != 0)); then
  echo "run_clean: $1 failed with status $status" >&2
  exit 1
fi
unexpected=$(printf '%s\n' "$output" | grep -v -E -e "${allow:-^$}" | grep -v '^$')
if [[ -n $unexpected ]]; then
  echo "run_clean: $1 printed more than it should:" >&2
  printf '%s\n' "$unexpected" >&2
  exit 1
fi
echo "run_clean: $* passed cleanly"
