#!/usr/bin/env bash
# Sources the bash completion $1 and asks it what it offers on a number of
# command lines, as bash would when the user presses TAB.
#   check_completion.sh COMPLETION_FILE [CLI]
# With CLI, also checks that every option `CLI --help` names is offered.
set -uo pipefail
export LC_ALL=C
# shellcheck source=/dev/null
source "$1" || exit 1
cli=${2-}
failures=0

# Completes the words given, the last one being the word under the cursor,
# the way bash splits them (COMP_WORDBREAKS makes "=" a word of its own).
offers() {
  COMP_WORDS=(zorqconvert-cli "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _zorqconvert_cli zorqconvert-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() { # expect "WANTED" WORD...
  local wanted=$1
  shift
  local got
  got=$(offers "$@")
  if [[ $got != "$wanted" ]]; then
    echo "zorqconvert-cli $* <TAB>: offered \"$got\", expected \"$wanted\""
    failures=$((failures + 1))
  fi
}

expect "--from-type" --fr
expect "--to-type" --to
expect "1 2 3" --from-type ""
expect "0 1" --to-type ""
expect "1 2 3" --from-type "="
expect "0 1" --to-type "=" ""
expect "1" --to-type "=" 1
expect "" --gain ""
expect "--append" --from-type 2 --ap

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/logger dump.txt" "$work/gauge.txt" "$work/--odd.txt"
expect "$work/--odd.txt $work/gauge.txt $work/logger dump.txt" --from-type 2 --to-type 0 "$work/"
expect "$work/--odd.txt" --from-type 2 -- "$work/--"

if [[ -n $cli ]]; then
  every=$(offers --)
  for option in $("$cli" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u); do
    if [[ " $every " != *" $option "* ]]; then
      echo "--help names $option; the completion does not offer it"
      failures=$((failures + 1))
    fi
  done
fi

if ((failures > 0)); then
  exit 1
fi
echo "check_completion: every command line completes as expected"
