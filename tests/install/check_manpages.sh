#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The help and the manual pages read on a terminal of 80 columns. Every --help of kolvane, of
# each of its commands and of kolvane-sim is at most 80 columns wide; each ends with examples
# whose options the program has. With MANPAGES=1, kolvane(1) and kolvane-sim(1) rendered at 80
# columns have no wider line and show every example whole: kolvane's under each command and the
# programs' own in EXAMPLES.
# Usage: check_manpages.sh KOLVANE KOLVANE_SIM MAN_DIR MANPAGES
set -uo pipefail
kolvane=$1 sim=$2 man_dir=$3 manpages=$4
export LC_ALL=C.UTF-8  # widths in characters, not bytes
unset COLUMNS          # the help as a terminal gets it, at 80 columns
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Failures are kept in a file, as many are found in subshells.
fail() {
    echo "FAIL: $*" >&2
    echo "$*" >>"$work/failures"
}

# Names each line of standard input wider than 80 columns; WHAT says where it comes from.
check_width() {
    local what=$1 number=0 line
    while IFS= read -r line; do
        number=$((number + 1))
        [ "${#line}" -le 80 ] || fail "$what, line $number, is ${#line} columns wide: $line"
    done
}

# The help of PROGRAM [COMMAND], which must succeed.
help_of() {
    "$@" --help || fail "$* --help exits with $?"
}

# The option names of a help text ("-j,--jobs INT" gives -j and --jobs), one a line.
options_in() { awk '/^  -/ { n = split($1, names, ","); for (i = 1; i <= n; i++) print names[i] }'; }

# The examples that end a help text, one a line without the "  $ ", or nothing when the help
# does not end with them.
examples_in() {
    awk '/^Examples:$/ { n = 0; on = 1; next }
         on && /^  \$ [^ ]/ { lines[++n] = substr($0, 5); next }
         { on = 0 }
         END { if (on) for (i = 1; i <= n; i++) print lines[i] }'
}

# Checks that each run of kolvane or kolvane-sim in EXAMPLE names an existing command and only
# options its help lists.
check_example() {
    local example=$1 segment help option
    local -a words
    while IFS= read -r segment; do
        read -ra words <<<"$segment"
        case "${words[0]:-}" in
            kolvane)
                if ! grep -qxF -- "${words[1]:-}" <<<"$commands"; then
                    fail "example '$example': kolvane has no command '${words[1]:-}'"
                    continue
                fi
                help=$(help_of "$kolvane" "${words[1]}")
                words=("${words[@]:2}") ;;
            kolvane-sim)
                help=$(help_of "$sim")
                words=("${words[@]:1}") ;;
            *) continue ;;
        esac
        for option in "${words[@]}"; do
            [[ $option == -?* ]] || continue
            grep -qxF -- "${option%%=*}" <(options_in <<<"$help") ||
                fail "example '$example': ${segment%% -*} has no option ${option%%=*}"
        done
    done < <(sed -e 's/ #.*//' -e 's/&&\|[|;&>]/\n/g' <<<"$example")
}

# Checks the examples ending the help of PROGRAM [COMMAND], at most MOST of them, and prints them.
checked_examples() {
    local most=$1 example found=""
    shift
    found=$(help_of "$@" | examples_in)
    [ -n "$found" ] && [ "$(wc -l <<<"$found")" -le "$most" ] ||
        fail "$* --help does not end with one to $most examples"
    while IFS= read -r example; do
        [ -n "$example" ] && check_example "$example"
    done <<<"$found"
    printf '%s\n' "$found"
}

# Checks that each line of EXAMPLES stands whole on a line of TEXT; WHERE names the text.
check_shown() {
    local where=$1 text=$2 examples=$3 example
    while IFS= read -r example; do
        [ -n "$example" ] || continue
        grep -qxF -- "\$ $example" <(sed 's/^ *//' <<<"$text") ||
            fail "$where does not show the example whole: \$ $example"
    done <<<"$examples"
}

commands=$(help_of "$kolvane" | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ "$(wc -w <<<"$commands")" -ge 10 ] || fail "kolvane --help lists too few commands: $commands"

check_width "kolvane --help" < <(help_of "$kolvane")
check_width "kolvane-sim --help" < <(help_of "$sim")
declare -A command_examples
for command in $commands; do
    check_width "kolvane $command --help" < <(help_of "$kolvane" "$command")
    command_examples[$command]=$(checked_examples 3 "$kolvane" "$command")
done
# The program's own examples are a whole session.
kolvane_examples=$(checked_examples 8 "$kolvane")
sim_examples=$(checked_examples 3 "$sim")

if [ "$manpages" = 1 ]; then
    # A page rendered at 80 columns, where man says nothing on standard error.
    render() {
        local text errors
        [ -f "$1" ] || fail "no page $1: build the target kolvane-manpages"
        text=$(MANWIDTH=80 man -l "$1" 2>"$work/render.err") || fail "man -l $1 exits with $?"
        errors=$(cat "$work/render.err")
        [ -z "$errors" ] || fail "man -l $1 warns: $errors"
        [ -n "$text" ] || fail "man -l $1 renders nothing"
        printf '%s\n' "$text"
    }
    # The section NAME (EXAMPLES) or the subsection of a command ("kolvane info") of a page.
    section() {
        awk -v name="$1" '$0 == name || $0 == "   " name { on = 1; next }
                          on && match($0, /[^ ]/) && RSTART <= 4 { exit }
                          on { print }' <<<"$2"
    }
    page=$(render "$man_dir/kolvane.1.gz")
    check_width "kolvane(1)" <<<"$page"
    check_shown "EXAMPLES of kolvane(1)" "$(section EXAMPLES "$page")" "$kolvane_examples"
    for command in $commands; do
        text=$(section "kolvane $command" "$page")
        [ -n "$text" ] || fail "kolvane(1) has no section for the command $command"
        grep -qx ' *Examples:' <<<"$text" || fail "kolvane(1) shows no examples of $command"
        check_shown "kolvane(1) under kolvane $command" "$text" "${command_examples[$command]}"
    done
    page=$(render "$man_dir/kolvane-sim.1.gz")
    check_width "kolvane-sim(1)" <<<"$page"
    check_shown "EXAMPLES of kolvane-sim(1)" "$(section EXAMPLES "$page")" "$sim_examples"
fi

[ -s "$work/failures" ] && exit 1
echo "help and manual pages fit 80 columns, with examples"
