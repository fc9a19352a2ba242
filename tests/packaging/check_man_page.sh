#!/usr/bin/env bash
# Checks the manual page $1: groff and man format it without a warning, and,
# given the program $2, every option its --help names has an entry.
#   check_man_page.sh MAN_PAGE [CLI]
set -uo pipefail
export LC_ALL=C.UTF-8 MANWIDTH=80
page=$1 cli=${2-}
failures=0

for tool in groff man; do
  if ! command -v "$tool" >/dev/null; then
    echo "check_man_page: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 1
  fi
done

complain_about() { # complain_about WHAT STDERR_TEXT
  if [[ -n $2 ]]; then
    echo "$1 warns:"
    printf '%s\n' "$2"
    failures=$((failures + 1))
  fi
}

groff_warnings=$(groff -man -ww -z "$page" 2>&1 >/dev/null) || failures=$((failures + 1))
complain_about "groff -man -ww" "$groff_warnings"
man_warnings=$(man --warnings -l "$page" 2>&1 >/dev/null) || failures=$((failures + 1))
complain_about "man --warnings" "$man_warnings"

if [[ -n $cli ]]; then
  for option in $("$cli" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
    # An entry starts with .TP, then the option in bold, its dashes escaped.
    escaped=${option//-/\\\\-}
    if ! grep -A1 -x '\.TP' "$page" | grep -q -E "^\.BI? $escaped( |\$)"; then
      echo "--help names $option; the manual page has no entry for it"
      failures=$((failures + 1))
    fi
  done
fi

if ((failures > 0)); then
  exit 1
fi
echo "check_man_page: $page formats cleanly and covers every option"
