#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# systemd-analyze verify on the services kolvane-tools installs: every directive known, every
# dependency found, the command there. The packaged units name /usr/bin/kolvane; here they name
# the built program instead, which is all that differs.
# Usage: check_services.sh SOURCE_DIR WORK KOLVANE
set -euo pipefail
source_dir=$1 work=$2 kolvane=$3
command -v systemd-analyze >/dev/null || { echo "FAIL: systemd-analyze missing: run scripts/deps" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
for unit in kolvane-collect.service kolvane-collect.timer kolvane-exporter.service \
    kolvane-mqtt.service; do
    sed "s|/usr/bin/kolvane|$kolvane|" "$source_dir/packaging/systemd/$unit" >"$work/$unit"
done
# The timer starts the service of its name, which must sit beside it. A key systemd does not
# know is only a warning to it, so any word from it fails the check.
report=$(cd "$work" && systemd-analyze verify --man=no kolvane-collect.service \
    kolvane-collect.timer kolvane-exporter.service kolvane-mqtt.service 2>&1) || { echo "FAIL: $report" >&2; exit 1; }
[ -z "$report" ] || { echo "FAIL: systemd-analyze verify: $report" >&2; exit 1; }
# The example hosts file is one the tool reads: it lists no meter yet, and says so.
if out=$("$kolvane" info --hosts "$source_dir/packaging/systemd/site.txt" -m em133 2>&1); then
    echo "FAIL: the example hosts file read as holding meters: $out" >&2; exit 1
fi
grep -q "No hosts in" <<<"$out" || { echo "FAIL: the example hosts file: $out" >&2; exit 1; }
echo "services: verified"
