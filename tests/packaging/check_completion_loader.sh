#!/usr/bin/env bash
# Checks that bash-completion's on-demand loader finds the completion that an
# install under prefix $1 placed, and that it then completes "--fr".
set -uo pipefail
loader=/usr/share/bash-completion/bash_completion
if [[ ! -f $loader ]]; then
  echo "check_completion_loader: $loader is missing (scripts/install-deps.sh installs bash-completion)"
  exit 1
fi
export XDG_DATA_DIRS=$1/share BASH_COMPLETION_USER_DIR=/nonexistent
# shellcheck source=/dev/null
source "$loader"
__load_completion zorqconvert-cli
registered=$(complete -p zorqconvert-cli 2>/dev/null)
if [[ $registered != *"-F _zorqconvert_cli "* ]]; then
  echo "check_completion_loader: bash-completion did not load it from $1/share (got \"$registered\")"
  exit 1
fi
COMP_WORDS=(zorqconvert-cli --fr)
COMP_CWORD=1
_zorqconvert_cli zorqconvert-cli --fr zorqconvert-cli 2>/dev/null
if [[ ${COMPREPLY[*]} != --from-type ]]; then
  echo "check_completion_loader: --fr<TAB> offered \"${COMPREPLY[*]}\""
  exit 1
fi
echo "check_completion_loader: loaded from $1/share: $registered"
