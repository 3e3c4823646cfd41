#!/usr/bin/env bash
# Completes a few kestrel command lines with the completion file COMPLETION
# and the program KESTREL; prints what differs from the expected words.
#
#   completion_check.sh COMPLETION KESTREL
set -u
source "$1"
program=$2
status=0

# expect "WORDS..." -- "EXPECTED": completing the last word of WORDS gives
# exactly EXPECTED (sorted, space-separated).
expect() {
    local expected=$1
    shift
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kestrel
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs)
    if [[ $got != "$expected" ]]; then
        echo "kestrel $*<TAB>: '$got', expected '$expected'"
        status=1
    fi
}

expect "remote restore" re
expect "get" g
expect "help" h
expect "mkdir mount mv" m
expect "--full --label" format --
expect "-l" --sim /tmp ls -
expect "--progress" --p
expect "mkdir mount" remote m
expect "get" help remote g
expect "read write" eeprom ""
complete -p kestrel >/dev/null || { echo "no completion registered for kestrel"; status=1; }
exit $status
