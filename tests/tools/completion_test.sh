#!/usr/bin/env bash
# dkq's completion offers what "dkq --help" lists: the commands, the options
# and each command's own options. Usage: completion_test.sh DKQ SCRIPT
source "$2"
help=$("$1" --help)
offered() { COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) && _dkq && printf '%s\n' "${COMPREPLY[@]}" | sort -u; }
listed() { sed -n "/^$1/,/^\$/p" <<<"$help" | grep -E "^  $2" | sed -E 's/^  //; s/  .*//'; }
dashed() { grep -oE -- '(^|[ [|])-{1,2}[a-zA-Z][-a-zA-Z]*' | tr -d ' [|' | sort -u; }
failed=0
expect() { [[ $2 == "$3" ]] || { echo "$1: offered >, listed <" && diff <(echo "$3") <(echo "$2"); failed=1; }; }
options=$(listed Options - | dashed)
commands=$(listed Commands '[a-z]' | awk '{print $1}' | sort -u)
expect options "$(offered dkq -)" "$options"
expect commands "$(offered dkq '')" "$commands"
for command in $commands; do
    expect "$command --" "$(offered dkq "$command" - | grep -vxF -- "$options")" \
        "$(listed Commands "$command " | cut -d' ' -f2- | dashed)"
done
exit $failed
