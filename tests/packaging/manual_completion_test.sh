#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: manual_completion_test.sh GROUP GAPTOOL MANUAL COMPLETION
# Holds gaptool, its manual page and its bash completion together, so that none drifts from
# the others. GROUP is one of:
#   manual      the manual names the commands, options and exit statuses `gaptool --help` names,
#               and no others; describes each option and gives each command an example; and
#               each option it gives a command is one gaptool takes for that command
#   completion  the completion offers the manual's commands, each command's options as the
#               manual's synopsis gives them, and as formats of --to and --from those gaptool
#               takes
#   files       the completion offers for each operand and option value the files it takes
set -uo pipefail

group=$1
gaptool=$(realpath "$2") manual=$(realpath "$3") completion=$(realpath "$4")
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect_same WHAT EXPECTED ACTUAL: two word lists, compared as sets.
expect_same() {
    local what=$1 expected actual
    expected=$(tr ' ' '\n' <<<"$2" | sed '/^$/d' | sort -u | tr '\n' ' ')
    actual=$(tr ' ' '\n' <<<"$3" | sed '/^$/d' | sort -u | tr '\n' ' ')
    if [ "$expected" != "$actual" ]; then
        fail "$what: expected [$expected], got [$actual]"
    fi
}

# The page as a reader sees it: plain text, long lines, no hyphenation.
page=$(groff -man -Tascii -P-cbou -rLL=250n -rHY=0 "$manual") || exit 1
# section NAME: the lines of the page's section NAME.
section() {
    awk -v name="$1" '/^[A-Z][A-Z ]*$/ { inside = ($0 == name); next } inside' <<<"$page"
}
# Every option a text names: a word starting with - or -- and a letter, not inside a word.
options_in() {
    grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z-]*' | sed 's/^[^-]*//' | sort -u | tr '\n' ' '
}
synopsis=$(section SYNOPSIS | sed -n 's/^ *gaptool //p')
commands=$(sed -n 's/^\([a-z][a-z-]*\).*/\1/p' <<<"$synopsis" | tr '\n' ' ')
# synopsis_options COMMAND: the options the synopsis gives COMMAND.
synopsis_options() {
    grep -E "^$1( |$)" <<<"$synopsis" | options_in
}
# takes_value COMMAND OPTION: whether the synopsis writes a value after OPTION.
takes_value() {
    grep -E "^$1( |$)" <<<"$synopsis" | grep -qE "(^|[[ ])$2 [A-Z]"
}

check_manual() {
    local help command option value run
    help=$("$gaptool" --help) || fail "gaptool --help failed"
    expect_same "commands of --help and of the manual's synopsis" \
        "$(grep -oE '^  [a-z][a-z-]*' <<<"$help" | tr -d ' ' | tr '\n' ' ')" "$commands"
    expect_same "options of --help and of the manual's synopsis" \
        "$(options_in <<<"$help")" "$(options_in <<<"$synopsis")"
    expect_same "exit statuses of --help and of the manual" \
        "$(sed -n '/^Exit status/,$p' <<<"$help" | grep -oE '\b[0-9] when' | cut -c1 | tr '\n' ' ')" \
        "$(section 'EXIT STATUS' | sed -n 's/^ \{7\}\([0-9]\)\( .*\)\{0,1\}$/\1/p' | tr '\n' ' ')"
    expect_same "commands of the manual's examples" "$commands" \
        "$(section EXAMPLES | sed -n 's/^ \{7\}gaptool \([a-z][a-z-]*\).*/\1/p' | tr '\n' ' ')"
    for option in $(options_in <<<"$synopsis"); do
        grep -qE "^ +$option( |$)" <<<"$page" || fail "the manual does not describe $option"
    done

    # Each command takes the options the manual gives it. The check can see a refusal only
    # while gaptool names an unknown option so: a made-up one shows that it still does.
    mkdir -p "$scratch/run" && cd "$scratch/run" || exit 1
    for command in $commands; do
        [ -n "$(synopsis_options "$command")" ] || continue
        run=$("$gaptool" "$command" --made-up-option missing.gap 2>&1)
        if ! grep -q "Unknown option '--made-up-option'" <<<"$run"; then
            fail "gaptool $command no longer names an unknown option as this test expects: $run"
            continue
        fi
        for option in $(synopsis_options "$command"); do
            value=()
            takes_value "$command" "$option" && value=(1)
            run=$("$gaptool" "$command" "$option" "${value[@]}" missing.gap 1 2 2>&1)
            if grep -q "nknown option '$option'" <<<"$run"; then
                fail "gaptool $command refuses $option, which the manual gives it"
            fi
        done
    done
}

# offer LINE: what the completion offers at the end of LINE, sorted, on one line.
offer() {
    local offered
    offered=$(bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion || exit 1
        source "$1" || exit 1
        line=$2
        COMP_LINE=$line
        COMP_POINT=${#line}
        # Split as readline splits, "=" being a word of its own.
        words=${line//=/ = }
        read -ra COMP_WORDS <<<"$words"
        [[ $line == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMPREPLY=()
        _gaptool gaptool "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' bash "$completion" "$1") || offered="(not-loaded)"
    sed '/^$/d' <<<"$offered" | sort | tr '\n' ' '
}

check_completion() {
    local command formats format run
    expect_same "the commands offered first" "$commands --help --version" "$(offer 'gaptool ')"
    for command in $commands; do
        expect_same "the options offered for $command" "$(synopsis_options "$command")" \
            "$(offer "gaptool $command -")"
    done

    # The formats: import reads every one the manual lists, export writes the ones offered
    # for --to and refuses the others.
    formats=$(section FORMATS | sed -n 's/^ \{7\}\([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' | tr '\n' ' ')
    expect_same "the formats offered for --from" "$formats" "$(offer 'gaptool import x --from ')"
    printf '\0\0\0\0\1\0\0\0' >"$scratch/generic.gap"
    for format in $formats; do
        run=$("$gaptool" import "$scratch/missing" --from "$format" -o "$scratch/x.gap" 2>&1)
        grep -q "Unknown format" <<<"$run" && fail "gaptool import refuses --from $format"
        run=$("$gaptool" export "$scratch/generic.gap" --to "$format" 2>&1)
        if grep -q "Unknown format" <<<"$run"; then
            [[ " $(offer 'gaptool export x --to ') " == *" $format "* ]] &&
                fail "the completion offers --to $format, which gaptool export refuses"
        else
            [[ " $(offer 'gaptool export x --to ') " == *" $format "* ]] ||
                fail "the completion does not offer --to $format, which gaptool export writes"
        fi
    done
    run=$("$gaptool" export "$scratch/generic.gap" --to made-up 2>&1)
    grep -q "Unknown format" <<<"$run" ||
        fail "gaptool no longer refuses a format as this test expects: $run"
}

check_files() {
    mkdir -p "$scratch/files/folder" && cd "$scratch/files" || exit 1
    touch a.gap B.GAP c.wav e.flac d.txt
    local gaps="B.GAP a.gap folder" recordings="c.wav e.flac folder"
    local all="B.GAP a.gap c.wav d.txt e.flac folder"
    local row line expected
    # Each row: the line typed => what is offered at its end.
    local rows=(
        "gaptool check => $gaps"
        "gaptool defrag --suffix .orig => $gaps"
        "gaptool generic --suffix=.orig => $gaps"
        "gaptool defrag -- => $gaps"
        "gaptool generic => $gaps"
        "gaptool generic a.gap =>"
        "gaptool write => $gaps"
        "gaptool write a.gap =>"
        "gaptool detect => $recordings"
        "gaptool detect -j 2 c.wav => $recordings"
        "gaptool detect -o => $gaps"
        "gaptool verify => $gaps"
        "gaptool verify --threshold -40 a.gap => $recordings"
        "gaptool verify a.gap c.wav =>"
        "gaptool export => $gaps"
        "gaptool export a.gap -o => $all"
        "gaptool export a.gap --recording => $recordings"
        "gaptool import => $all"
        "gaptool import d.txt --from csv -o => $gaps"
        "gaptool diff a.gap => $gaps"
        "gaptool lint --json => $gaps"
        "gaptool lint -j => "
        "gaptool nonsense =>"
    )
    for row in "${rows[@]}"; do
        line="${row%% =>*} "
        expected=${row#*=>}
        expect_same "offered after '$line'" "$expected" "$(offer "$line")"
    done
}

if [ "$group" != manual ] && [ ! -r /usr/share/bash-completion/bash_completion ]; then
    echo "FAIL: bash-completion is not installed (scripts/debian-packages lists it)"
    exit 1
fi
case $group in
    manual) check_manual ;;
    completion) check_completion ;;
    files) check_files ;;
    *) echo "Unknown group '$group'" >&2; exit 2 ;;
esac
if ((failures > 0)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "All checks of $group passed"
