#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the manual page of a program from its own --help with help2man, so the page never
# drifts from the program. For a program with subcommands (kolvane), a COMMANDS section adds
# the --help of every subcommand the program lists.
# Usage: [HELP2MAN=path] tool_page.sh PROGRAM VERSION SUMMARY SEE_ALSO OUT
set -euo pipefail
program=$1 version=$2 summary=$3 see_also=$4 out=$5
include=$(mktemp)
trap 'rm -f "$include"' EXIT

# Text as roff that is printed as written: backslashes escaped, hyphens as minus signs (as
# options are typed), no line taken for a request.
literal() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^[.']/\\\\\\&&/"; }

subcommands=$("$program" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
{
    if [ -n "$subcommands" ]; then
        echo "[COMMANDS]"
        echo "Every command takes \\fB\\-h\\fR or \\fB\\-\\-help\\fR and prints what follows."
        for command in $subcommands; do
            echo ".SS \"$(basename "$program") ${command//-/\\-}\""
            echo ".nf"
            # Printed as written under the section's indent of 7 columns: 73 keep the page
            # within 80.
            COLUMNS=73 "$program" "$command" --help | literal
            echo ".fi"
        done
    fi
    echo "[SEE ALSO]"
    echo "$see_also"
} >"$include"

"${HELP2MAN:-help2man}" --no-info --no-discard-stderr --version-string="$version" --name="$summary" \
    --include="$include" --output="$out" "$program"
