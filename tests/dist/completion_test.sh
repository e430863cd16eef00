#!/usr/bin/env bash
# Sources the installed bash completion and checks what it offers for typical command lines.
#   completion_test.sh COMPLETION_FILE PROGRAM
set -uo pipefail
source "$1"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/release" "$work/web dir"
touch "$work/acme.wrp" "$work/readme"

failures=0
# expect "WORDS TYPED SO FAR" "EXPECTED COMPLETIONS": the last word is the one being completed.
expect()
{
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kestrane
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' ')
    if [[ $got != "$2" ]]; then
        echo "FAIL: '$1' completes to '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

expect "kestrane -w" "-wrapping"
expect "kestrane --pa" "--pack --passin"
expect "kestrane -wrapping d" "dome7720 dome7760"
expect "kestrane -wrapping : e" "emergency"
expect "kestrane -genkey r" "random"
expect "kestrane --wrapping = r" "raw"
expect "kestrane -j" "-json"
touch "$work/-x" # after "--" a word with a dash is a file
pushd "$work" >/dev/null
expect "kestrane -wrapping ocx -- -" "-x"
popd >/dev/null
expect "kestrane -version " ""
expect "kestrane -key $work/a" "$work/acme.wrp"
expect "kestrane -info $work/r" "$work/readme $work/release"
expect "kestrane -verify $work/a" "$work/acme.wrp"
expect "kestrane -verify x -passin f" "file:"
expect "kestrane -pack $work/" "$work/release $work/web dir"
expect "kestrane -wrapping webpage $work/" "$work/release $work/web dir"
expect "kestrane -wrapping kernel -key $work/acme.wrp $work/re" "$work/readme $work/release"

# Every option and wrapping type that the program's usage text names is offered.
usage=$("$2" -help)
expect "kestrane -" "$(grep -oE '(^|[ [])-[a-z]+' <<<"$usage" | tr -d ' [' | sort | uniq | paste -sd' ')"
types=$(tr -s ' \n' ' ' <<<"$usage")
types=${types#*TYPE: }
expect "kestrane --wrapping " "$(tr -d , <<<"${types%%.*}" | tr ' ' '\n' | sort | paste -sd' ')"

complete -p kestrane-cli >/dev/null || { echo "FAIL: no completion for kestrane-cli"; failures=$((failures + 1)); }

exit $((failures > 0))
