# bash completion for zorqconvert-cli                      -*- shell-script -*-
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Every option lives in _zorqconvert_cli_options; one that takes a value is
# also named in _zorqconvert_cli_values, with the words offered for it (empty
# when any value goes, "@files" or "@dirs" for a path, "@waves" a path or
# auto).

_zorqconvert_cli_options=(
    --from-type --to-type --gain --offset --append --help --version
    -o --output-dir --check --overwrite --tz --jobs --json --quiet
    --format --units --standard-name --attr --deployment --trim-depth --position --clock-offset --clock-drift
    --waves --segment --welch-segment --band --pressure --atmospheric --density
    --sensor-height --kp-min --barometer --barometer-units --lf-line-ends --merge
)

declare -gA _zorqconvert_cli_values=(
    [--from-type]="1 2 3 auto"
    [--to-type]="0 1"
    [--gain]=""
    [--offset]=""
    [-o]="@dirs"
    [--output-dir]="@dirs"
    [--tz]="@zones"
    [--jobs]="1 2 3 4 6 8 12 16 24 32"
    [--format]="legacy netcdf tidy legacy,netcdf legacy,tidy netcdf,tidy legacy,netcdf,tidy"
    [--units]="m cm mm dbar kPa Pa 1"
    [--standard-name]=""
    [--attr]=""
    [--deployment]="@files"
    [--trim-depth]=""
    [--position]=""
    [--clock-offset]=""
    [--clock-drift]=""
    [--waves]="@waves"
    [--segment]="600 1200 1800 3600"
    [--welch-segment]="64 128 256 512 1024 2048"
    [--band]="0.04:1.0 0.05:0.5"
    [--pressure]="Pa kPa dbar bar mH2O"
    [--atmospheric]=""
    [--density]="1025 1000"
    [--sensor-height]=""
    [--kp-min]="0.1 0.2"
    [--barometer]="@files"
    [--barometer-units]="hPa mbar kPa Pa"
    [--merge]="@files"
)

# Sets COMPREPLY to the lines compgen prints for "$@" (names with blanks
# stay whole).
_zorqconvert_cli_reply() {
    mapfile -t COMPREPLY < <(compgen "$@")
}

_zorqconvert_cli_complete_files() {
    compopt -o filenames 2>/dev/null
    _zorqconvert_cli_reply -f -- "$1"
}

# Zone names under /usr/share/zoneinfo that start with $1 ("Europe/Be").
_zorqconvert_cli_complete_zone() {
    local zones=/usr/share/zoneinfo
    [[ -d $zones ]] || return
    mapfile -t COMPREPLY < <(cd "$zones" && find . -type f -path "./$1*" \
        ! -name '*.tab' ! -name '*.zi' ! -name 'leap*' ! -name 'tzdata*' \
        ! -path './posix/*' ! -path './right/*' 2>/dev/null | sed 's|^\./||' | sort)
}

# Offers the values of option $1 for the word $2.
_zorqconvert_cli_complete_value() {
    local words=${_zorqconvert_cli_values[$1]}
    case $words in
        @files) _zorqconvert_cli_complete_files "$2" ;;
        @dirs)
            compopt -o filenames 2>/dev/null
            _zorqconvert_cli_reply -d -- "$2"
            ;;
        @zones) _zorqconvert_cli_complete_zone "$2" ;;
        @waves)
            _zorqconvert_cli_complete_files "$2"
            [[ auto == "$2"* ]] && COMPREPLY+=(auto)
            ;;
        *) _zorqconvert_cli_reply -W "$words" -- "$2" ;;
    esac
}

_zorqconvert_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    # After "--" every word is a file.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            _zorqconvert_cli_complete_files "$cur"
            return
        fi
    done

    # "--name=value": bash may split the word at "=" (COMP_WORDBREAKS).
    if [[ $cur == --*=* ]]; then
        local name=${cur%%=*}
        if [[ -v _zorqconvert_cli_values[$name] ]]; then
            _zorqconvert_cli_complete_value "$name" "${cur#*=}"
        fi
        return
    fi
    if [[ $cur == = && -v _zorqconvert_cli_values[$prev] ]]; then
        _zorqconvert_cli_complete_value "$prev" ""
        return
    fi
    if [[ $prev == = && COMP_CWORD -ge 2 && -v _zorqconvert_cli_values[${COMP_WORDS[COMP_CWORD - 2]}] ]]; then
        _zorqconvert_cli_complete_value "${COMP_WORDS[COMP_CWORD - 2]}" "$cur"
        return
    fi
    if [[ -v _zorqconvert_cli_values[$prev] ]]; then
        _zorqconvert_cli_complete_value "$prev" "$cur"
        return
    fi

    if [[ $cur == -* ]]; then
        _zorqconvert_cli_reply -W "${_zorqconvert_cli_options[*]}" -- "$cur"
        return
    fi
    _zorqconvert_cli_complete_files "$cur"
}

complete -F _zorqconvert_cli zorqconvert-cli
