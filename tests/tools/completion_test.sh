#!/usr/bin/env bash
# The bash completion of dkq offers what "dkq --help" lists: every command
# where the command goes, every option after "-", and each command's own
# options after the command. Usage: completion_test.sh DKQ COMPLETION-SCRIPT
set -u
dkq=$1
source "$2"
help=$("$dkq" --help)

offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _dkq
    printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
section() { sed -n "/^$1/,/^\$/p" <<<"$help" | grep -E "^  $2"; }
usage() { sed -E 's/^  //; s/  .*//'; }  # the left column: usage, not the description
dashed() { grep -oE -- '(^|[ [|])-{1,2}[a-zA-Z][-a-zA-Z]*' | tr -d ' [|' | sort -u; }

failed=0
expect() {
    [[ $2 == "$3" ]] && return
    echo "$1: completion (>) against dkq --help (<):"
    diff <(echo "$3") <(echo "$2")
    failed=1
}
options=$(section Options - | usage | dashed)
commands=$(section Commands '[a-z]' | usage | awk '{print $1}' | sort -u)
expect options "$(offered dkq -)" "$options"
expect commands "$(offered dkq '')" "$commands"
for command in $commands; do
    own=$(section Commands "$command " | usage | cut -d' ' -f2- | dashed)
    expect "$command --" "$(offered dkq "$command" - | grep -vxF -- "$options")" "$own"
done
exit $failed
