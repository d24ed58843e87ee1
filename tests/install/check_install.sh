#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build tree into WORK/prefix, checks the installed files and manual pages, and
# builds and runs the consumer against the installed copy twice: with pkg-config and with
# find_package(kolvane).
# Usage: check_install.sh BUILD_DIR WORK VERSION "PROGRAMS" CC CMAKE PKG_CONFIG MANPAGES [CONSUMER_FLAGS]
# MANPAGES is 1 when the build makes the manual pages.
set -euo pipefail
build=$1 work=$2 version=$3 programs=$4 cc=$5 cmake=$6 pkg_config=$7 manpages=$8 flags=${9:-}
consumer=$(cd "$(dirname "$0")/consumer" && pwd)

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/prefix"
prefix=$(cd "$work/prefix" && pwd -P)
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log"

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kolvane.pc)")
[ "$("$pkg_config" --modversion kolvane)" = "$version" ] || fail "kolvane.pc version"
libdir=$(cd "$("$pkg_config" --variable=libdir kolvane)" && pwd -P)
includedir=$(cd "$("$pkg_config" --variable=includedir kolvane)" && pwd -P)

[ -f "$includedir/kolvane.h" ] || fail "header not in $includedir"
[ -f "$libdir/libkolvane.so.$version" ] && [ ! -L "$libdir/libkolvane.so.$version" ] ||
    fail "libkolvane.so.$version is not a file in $libdir"
[ "$(readlink "$libdir/libkolvane.so.1")" = "libkolvane.so.$version" ] || fail "libkolvane.so.1 link"
[ "$(readlink "$libdir/libkolvane.so")" = "libkolvane.so.1" ] || fail "libkolvane.so link"
objdump -p "$libdir/libkolvane.so.$version" | grep -E 'SONAME +libkolvane\.so\.1$' >/dev/null ||
    fail "SONAME"
[ -f "$libdir/cmake/kolvane/kolvaneConfig.cmake" ] || fail "CMake package not in $libdir/cmake"
# Clean paths, without a detour through the pkgconfig directory.
flags_of() { echo $("$pkg_config" "$1" kolvane); }  # unquoted: words without stray blanks
[ "$(flags_of --cflags)" = "-I$prefix/include" ] || fail "pkg-config --cflags: $(flags_of --cflags)"
[ "$(flags_of --libs)" = "-L$(dirname "$PKG_CONFIG_PATH") -lkolvane" ] ||
    fail "pkg-config --libs: $(flags_of --libs)"

# The manual pages: kolvane(1) shows every command of the tool, kolvane(3) every function.
page() { MANWIDTH=200 man --manpath="$prefix/share/man" "$@" 2>&1; }
if [ "$manpages" = 1 ]; then
    for program in $programs; do
        text=$(page 1 "$program") || fail "man 1 $program: $text"
        grep -q "^NAME" <<<"$text" || fail "man 1 $program has no NAME section"
    done
    if [[ " $programs " == *" kolvane "* ]]; then
        text=$(page 1 kolvane)
        commands=$(env -u LD_LIBRARY_PATH "$prefix/bin/kolvane" --help |
            awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
        [ "$(wc -w <<<"$commands")" -ge 10 ] || fail "kolvane --help lists too few commands: $commands"
        for command in $commands; do
            grep -q "^ *kolvane $command\$" <<<"$text" || fail "man kolvane lacks the command $command"
            grep -q "Usage: kolvane $command " <<<"$text" || fail "man kolvane lacks the usage of $command"
        done
    fi
    text=$(page 3 kolvane) || fail "man 3 kolvane: $text"
    functions=$(grep -o '^KOLVANE_API [^(]*(' "$includedir/kolvane.h" | grep -o 'kolvane_[a-z0-9_]*')
    [ "$(wc -w <<<"$functions")" = 16 ] || fail "kolvane.h does not declare sixteen functions"
    for function in $functions; do
        grep -q "^ *$function\$" <<<"$text" || fail "man 3 kolvane lacks $function"
    done
fi

# The binary must load libkolvane.so.1 from the installed prefix, not from the build tree.
uses_installed() {
    local loaded
    loaded=$(env -u LD_LIBRARY_PATH ldd "$1" | awk '$1 == "libkolvane.so.1" { print $3 }')
    [ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$libdir/libkolvane.so.1")" ] ||
        fail "$1 does not load $libdir/libkolvane.so.1"
}
for program in $programs; do
    [ -x "$prefix/bin/$program" ] || fail "program $program not installed"
    if env -u LD_LIBRARY_PATH ldd "$prefix/bin/$program" | grep libkolvane >/dev/null; then
        uses_installed "$prefix/bin/$program"
    fi
done

expected="kolvane $version: 199 em133 points"
check_run() {
    uses_installed "$1"
    [ "$(env -u LD_LIBRARY_PATH "$1")" = "$expected" ] || fail "$1 printed something else"
}

# shellcheck disable=SC2046 # pkg-config output is a list of flags
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $flags "$consumer/consumer.c" \
    $("$pkg_config" --cflags --libs kolvane) -Wl,-rpath,"$libdir" -o "$work/pkgconfig-consumer"
check_run "$work/pkgconfig-consumer"

"$cmake" -S "$consumer" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    >"$work/cmake-consumer.log"
"$cmake" --build "$work/cmake-consumer" >>"$work/cmake-consumer.log"
check_run "$work/cmake-consumer/consumer"
echo "installed kolvane $version: pkg-config and CMake consumers work"
