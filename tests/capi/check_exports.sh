#!/bin/sh
# SPDX-License-Identifier: MIT
# Fails unless the shared object defines exactly the public functions listed in the
# expected file: no internal symbol may leak, none of the sixteen may be missing.
# Usage: check_exports.sh <nm> <shared object> <expected symbols file>
set -eu
nm_tool=$1
library=$2
expected=$3

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
# Defined dynamic symbols, version suffixes ("@@V1") removed.
"$nm_tool" -D --defined-only "$library" | awk 'NF >= 3 { sub(/@.*/, "", $3); print $3 }' |
    LC_ALL=C sort -u > "$actual"

if ! LC_ALL=C sort -u "$expected" | diff - "$actual"; then
    echo "exported symbols of $library differ from $expected ('>' = unexpected, '<' = missing)"
    exit 1
fi
echo "$(wc -l < "$actual") exported symbols, as expected"
