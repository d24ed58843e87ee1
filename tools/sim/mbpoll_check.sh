#!/bin/sh
# SPDX-License-Identifier: MIT
# Cross-checks kolvane-sim with the independent Modbus client mbpoll, over Modbus TCP and over
# Modbus RTU on a pseudo-terminal pair made by socat.
# usage: mbpoll_check.sh PATH/TO/kolvane-sim [PATH/TO/mbpoll]
set -u
SIM=$1
MBPOLL=${2:-mbpoll}
WORK=$(mktemp -d)
SIM_PID=
SOCAT_PID=
cleanup() {
    if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null; fi
    if [ -n "$SOCAT_PID" ]; then kill "$SOCAT_PID" 2>/dev/null; wait "$SOCAT_PID" 2>/dev/null; fi
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
fail() { echo "mbpoll_check: FAIL: $*"; exit 1; }

# A meter file with a known identity and one fixed point.
cat > "$WORK/meter.txt" <<'METER'
model em235
records 50
serial 0x125678
model_id 235
firmware 2 3
point 0x1100 2301
METER

# The meter's end and mbpoll's end of a serial line.
command -v socat > /dev/null || fail "socat is missing (Debian package socat)"
socat pty,raw,echo=0,link="$WORK/line" pty,raw,echo=0,link="$WORK/client" 2> "$WORK/socat" &
SOCAT_PID=$!
i=0
until [ -e "$WORK/line" ] && [ -e "$WORK/client" ]; do
    kill -0 "$SOCAT_PID" 2>/dev/null || fail "socat exited: $(cat "$WORK/socat")"
    [ $i -lt 100 ] || fail "socat made no pseudo-terminals"
    sleep 0.1
    i=$((i + 1))
done

"$SIM" --port 0 --meter "$WORK/meter.txt" --rtu-device "$WORK/line" --baud 9600 --parity even \
    > "$WORK/out" 2> "$WORK/err" &
SIM_PID=$!
PORT=
i=0
while [ $i -lt 100 ]; do
    PORT=$(sed -n '1s/^kolvane-sim: em235 listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$WORK/out")
    [ -n "$PORT" ] && break
    kill -0 "$SIM_PID" 2>/dev/null || fail "kolvane-sim exited: $(cat "$WORK/err")"
    sleep 0.1
    i=$((i + 1))
done
[ -n "$PORT" ] || fail "no port line from kolvane-sim"

# mbpoll prints "[ref]: <tab>value" lines; keep "ref=value".
poll() { timeout 10 "$MBPOLL" -m tcp -0 -1 -o 2 -p "$PORT" "$@" 127.0.0.1 2>&1 | sed -n 's/^\[\([0-9]*\)\]:[[:space:]]*\(-\{0,1\}[0-9]*\).*/\1=\2/p' | tr '\n' ' '; }
write() {  # write REGISTER VALUE...
    reg=$1
    shift
    timeout 10 "$MBPOLL" -m tcp -0 -1 -o 2 -p "$PORT" -r "$reg" 127.0.0.1 "$@" > "$WORK/w" 2>&1 || fail "write $reg $*: $(cat "$WORK/w")"
}

# Identity block: serial 0x125678 (low word first), model id 235, firmware 2/3 at words 20/21.
got=$(poll -r 46080 -c 4)
[ "$got" = "46080=22136 46081=18 46082=235 46083=0 " ] || fail "identity words 0-3: $got"
got=$(poll -r 46100 -c 2)
[ "$got" = "46100=2 46101=3 " ] || fail "firmware words: $got"
# em235 scaling registers.
got=$(poll -r 46209)
[ "$got" = "46209=10 " ] || fail "PT ratio: $got"
# Point 0x1100 (V1) on the em235: register 13952, raw 2301.
got=$(poll -r 13952 -c 2)
[ "$got" = "13952=2301 13953=0 " ] || fail "point V1: $got"
# Write single and multiple, read back.
write 2575 4321
got=$(poll -r 2575)
[ "$got" = "2575=4321 " ] || fail "guard register read back: $got"
write 4352 5 6 7 8 9 24 3
got=$(poll -r 4352 -c 7)
[ "$got" = "4352=5 4353=6 4354=7 4355=8 4356=9 4357=24 4358=3 " ] || fail "clock block read back: $got"
# An unknown register is refused (exception 2).
timeout 10 "$MBPOLL" -m tcp -0 -1 -o 2 -p "$PORT" -r 1 127.0.0.1 > "$WORK/x" 2>&1
grep -q "Illegal data address" "$WORK/x" || fail "unknown register not refused: $(cat "$WORK/x")"

# Modbus RTU at 9600 8E1: the whole identity block as Modbus TCP serves it (register numbers
# 1-based, as mbpoll counts by default), a write read back, a refusal.
grep -q "^kolvane-sim: em235 RTU on $WORK/line, 9600 8E1$" "$WORK/out" || fail "no RTU line: $(cat "$WORK/out")"
rtu() { timeout 10 "$MBPOLL" -m rtu -b 9600 -P even -a 1 -1 -o 2 "$@" "$WORK/client" 2>&1; }
rtu_poll() { rtu "$@" | sed -n 's/^\[\([0-9]*\)\]:[[:space:]]*\(-\{0,1\}[0-9]*\).*/\1=\2/p' | tr '\n' ' '; }
got=$(rtu_poll -r 46081 -c 26)
tcp=$(timeout 10 "$MBPOLL" -m tcp -1 -o 2 -p "$PORT" -r 46081 -c 26 127.0.0.1 2>&1 | sed -n 's/^\[\([0-9]*\)\]:[[:space:]]*\(-\{0,1\}[0-9]*\).*/\1=\2/p' | tr '\n' ' ')
case "$got" in "46081=22136 46082=18 46083=235 46084=0 "*) ;; *) fail "RTU identity: $got" ;; esac
[ "$got" = "$tcp" ] || fail "RTU identity $got differs from Modbus TCP's $tcp"
timeout 10 "$MBPOLL" -m rtu -b 9600 -P even -a 1 -1 -o 2 -r 2576 "$WORK/client" 4322 > "$WORK/w" 2>&1 ||
    fail "RTU write: $(cat "$WORK/w")"
got=$(rtu_poll -r 2576)
[ "$got" = "2576=4322 " ] || fail "RTU guard register read back: $got"
rtu -r 2 > "$WORK/x"
grep -q "Illegal data address" "$WORK/x" || fail "RTU: unknown register not refused: $(cat "$WORK/x")"

kill -TERM "$SIM_PID"
wait "$SIM_PID"
rc=$?
SIM_PID=
[ $rc -eq 0 ] || fail "kolvane-sim exit status $rc"
echo "mbpoll_check: 1 passed, 0 failed"
