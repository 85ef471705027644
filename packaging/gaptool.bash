# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for gaptool: its commands, each command's options, the formats of --to and
# --from, and for each operand the files it takes. It follows the manual, gaptool.1, and
# tests/packaging/manual_completion_test.sh holds the two together.

# OPTION NAME=KIND...: the kind of value OPTION takes, if it takes one.
_gaptool_value_kind()
{
    local name=$1 option
    shift
    for option; do
        if [[ $option == "$name="* ]]; then
            printf '%s\n' "${option#*=}"
            return
        fi
    done
}

_gaptool()
{
    local cur prev words cword
    # "--suffix=S" is one word, not three.
    _init_completion -n = || return

    # Each command, its options (NAME=KIND takes a value of that kind) and the kinds of its
    # operands, in order (the last repeats when it ends in "...").
    local -a table=(
        "check||gap..."
        "show||gap..."
        "defrag|--backup --suffix=text|gap..."
        "generic|--backup --suffix=text|gap"
        "write||gap text text"
        "detect|-o=gap --threshold=text --min-silence=text --force --backup --suffix=text -j=text|recording..."
        "verify|--threshold=text --min-silence=text|gap recording"
        "export|--to=exports -o=file --recording=recording --force|gap"
        "import|--from=imports -o=gap --force --sort --merge --clip --skip-points --drop-tiny|file"
        "diff|--tolerance=text|gap gap"
        "lint|--json -j=text|gap..."
    )
    local exports="audacity textgrid csv json"
    local imports="$exports silencedetect mouthcues"

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "${table[*]%%|*} --help --version" -- "$cur"))
        return
    fi

    local row options="" kinds=""
    for row in "${table[@]}"; do
        if [[ ${row%%|*} == "${words[1]}" ]]; then
            row=${row#*|}
            options=${row%%|*}
            kinds=${row#*|}
        fi
    done
    [[ $kinds ]] || return

    # Walk the words before the cursor: the operands given so far, and whether "--" ended the
    # options.
    local i word given=0 ended="" kind=""
    for ((i = 2; i < cword; i++)); do
        word=${words[i]}
        if [[ -z $ended && $word == -- ]]; then
            ended=1
        elif [[ -z $ended && $word == -?* ]]; then
            [[ $(_gaptool_value_kind "$word" $options) ]] && ((i++))
        else
            ((given++))
        fi
    done

    # Right after an option that takes a value: that value.
    if [[ -z $ended && $prev == -?* && $cword -gt 2 ]]; then
        kind=$(_gaptool_value_kind "$prev" $options)
    fi
    if [[ -z $kind ]]; then
        if [[ -z $ended && $cur == -* ]]; then
            local option names=()
            for option in $options; do
                names+=("${option%%=*}")
            done
            COMPREPLY=($(compgen -W "${names[*]}" -- "$cur"))
            return
        fi
        local -a list=($kinds)
        if ((given < ${#list[@]})); then
            kind=${list[given]}
        elif [[ ${list[-1]} == *... ]]; then
            kind=${list[-1]}
        else
            return
        fi
        kind=${kind%...}
    fi

    case $kind in
        gap) _filedir gap ;;
        # Folders too: detect takes a folder of recordings, and the others a path into one.
        recording) _filedir 'wav|flac|ogg|opus|mp3|aiff|aif' ;;
        file) _filedir ;;
        exports) COMPREPLY=($(compgen -W "$exports" -- "$cur")) ;;
        imports) COMPREPLY=($(compgen -W "$imports" -- "$cur")) ;;
    esac
} &&
    complete -F _gaptool gaptool

# ex: filetype=sh
