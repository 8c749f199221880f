#!/bin/bash
# The bash completion as a shell runs it, without a terminal: COMP_WORDS and
# friends are set as bash sets them and _j3 is called. It offers the verbs
# `j3 --help` lists, every option each verb's --help names, the words of the
# choice options, files by extension and the port names of `j3 ports --names`.
# usage: completion_test.sh COMPLETION_SCRIPT J3_BINARY
# Exits 77 (skipped) when bash-completion is not installed.
set -u
script=$(realpath "$1")
j3=$(realpath "$2")
helpers=/usr/share/bash-completion/bash_completion
if [ ! -f "$helpers" ]; then
    echo "skipped: bash-completion is not installed"
    exit 77
fi
# shellcheck disable=SC1090
. "$helpers"
# shellcheck disable=SC1090
. "$script"
complete -p j3 | grep -q -- '-F _j3' || { echo "no completion for j3: $(complete -p j3)"; exit 1; }

failed=0
# complete_words WORD...: the candidates for the last word, sorted, on one
# line; the words are as typed (quotes and backslashes kept), as bash hands
# them to a completion function.
complete_words() {
    COMP_WORDS=("$j3" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _j3 j3 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort -u | tr '\n' ' ' | sed 's/ $//'
}
# complete_line LINE: the same for a line of words without quotes (empty
# last word after a space).
complete_line() {
    local -a w
    read -r -a w <<<"$1"
    [[ $1 == *' ' || -z $1 ]] && w+=('')
    complete_words "${w[@]}"
}
expect() {  # LINE WANT
    local got
    got=$(complete_line "$1")
    if [ "$got" != "$2" ]; then
        echo "j3 $1<Tab>: got \"$got\", want \"$2\""
        failed=1
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir folder
touch bank.syx BANK2.SYX kick.wav pad.aif loop.aiff tape.aifc set.j3 notes.txt

# Verbs and the program's own options.
expect "sen" "send"
expect "--v" "--version"
expect "t" "tape.aifc turbo"
# Each verb's files, by extension in either case, and folders to go into.
expect "info " "BANK2.SYX bank.syx folder kick.wav loop.aiff pad.aif tape.aifc"
expect "waveform " "folder kick.wav loop.aiff pad.aif tape.aifc"
expect "send k" "kick.wav"
expect "list " "folder set.j3"
expect "list -o new.j3 " "BANK2.SYX bank.syx folder kick.wav loop.aiff pad.aif set.j3 tape.aifc"
expect "receive -o " "folder"
expect "turbo " ""
# The words of the choice options.
expect "convert kick.wav --format " "aiff syx wav"
expect "receive --format s" "syx syx-all"
expect "send kick.wav --loop " "file off on"
expect "list -o a.j3 --stereo " "left mix right"
expect "ports --names " "destinations sources"
expect "send kick.wav --delay " ""

# Port names, quoted for the line, whole or from their start.
while IFS= read -r name; do
    printf -v quoted '%q' "$name"
    printf -v start '%q' "${name:0:3}"
    case " $(complete_words send kick.wav --to "$start") " in
        *" $quoted "*) ;;
        *) echo "--to ${name:0:3}<Tab> does not offer $quoted"; failed=1 ;;
    esac
done < <("$j3" ports --names destinations)
[ -n "$("$j3" ports --names sources)" ] || { echo "j3 ports --names sources lists nothing"; failed=1; }

# Every verb j3 --help lists is completed, with every option its --help names.
verbs=$("$j3" --help | sed -n 's/^.*j3 \([a-z][a-z]*\).*$/\1/p' | sort -u | tr '\n' ' ' | sed 's/ $//')
# shellcheck disable=SC2086
expect "" "$(printf '%s\n' $verbs BANK2.SYX bank.syx folder kick.wav loop.aiff pad.aif set.j3 tape.aifc | sort | tr '\n' ' ' | sed 's/ $//')"
for verb in $verbs; do
    offered=" $(complete_line "$verb -") "
    for option in $("$j3" "$verb" --help | grep -o -E '(^|[][ (])--?[a-z][a-z-]*' | sed 's/^[][ (]//' | sort -u); do
        case $offered in
            *" $option "*) ;;
            *) echo "j3 $verb -<Tab> does not offer $option (its --help names it)"; failed=1 ;;
        esac
    done
done

[ $failed -eq 0 ] && echo "ok"
exit $failed
