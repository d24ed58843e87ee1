#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Python binding as the README says, with the system's pip and no package index,
# into a virtual environment, and checks that the source tree is left as it was and that the
# installed package loads the library named by KOLVANE_LIBRARY.
# Usage: check_python_install.sh SOURCE_DIR WORK PYTHON LIBRARY VERSION
set -euo pipefail
source_dir=$1 work=$2 python=$3 library=$4 version=$5
binding=$source_dir/bindings/python

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
"$python" -m pip --version >/dev/null 2>&1 || fail "$python has no pip: install python3-pip"
before=$(ls -A "$binding")
# --system-site-packages: the build uses Debian's setuptools and wheel; no index is asked.
"$python" -m venv --system-site-packages --without-pip "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-build-isolation --no-cache-dir "$binding" \
    >"$work/pip.log" 2>&1 || { cat "$work/pip.log" >&2; fail "offline pip install failed"; }
[ "$(ls -A "$binding")" = "$before" ] || fail "the install left files in $binding: $(ls -A "$binding")"

cd "$work"  # away from the source tree, so that the installed copy is imported
KOLVANE_LIBRARY=$library PYTHONDONTWRITEBYTECODE=1 "$work/venv/bin/python" - "$work/venv" "$version" <<'EOF' ||
import sys
venv, version = sys.argv[1], sys.argv[2]
import kolvane
assert kolvane.__file__.startswith(venv + "/"), "imported " + kolvane.__file__
assert kolvane.version() == version, kolvane.version()
assert len(kolvane.list_points("em235")["points"]) == 205
EOF
    fail "the installed binding does not work"
echo "pip installed kolvane $version offline; it loads $library"
