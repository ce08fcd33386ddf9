#!/bin/bash
# Runs drivelink-cli against a Modbus slave no one here wrote, on a socat pseudo-terminal
# pair, in both timings: scan finds a KX100, read, write and upload agree with the slave's
# register image (register 362 = address, register r = 1000 + r - 256 for r in 257..364).
# Usage: peer-test.sh CLI SERVER-COMMAND...   (the server gets DEVICE SLAVE appended)
set -u
cli=$1
shift
dir=$(mktemp -d)
slave=1
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$dir"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$dir/slave" pty,raw,echo=0,link="$dir/master" 2>"$dir/socat.log" &
pids+=($!)
for _ in $(seq 100); do [ -e "$dir/slave" ] && [ -e "$dir/master" ] && break; sleep 0.05; done
"$@" "$dir/slave" "$slave" 2>"$dir/server.log" &
pids+=($!)
sleep 1 # the server opens its side

fail=0
check() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected [$2], got [$3]"
        fail=1
    else
        echo "ok   $1"
    fi
}
for timing in fast standard; do
    run() { timeout 120 "$cli" --port "$dir/master" --timing "$timing" "$@" 2>>"$dir/cli.log"; }
    scan=$(run --trace --json scan $slave 2>&1)
    check "$timing scan" "KX100" "$(echo "$scan" | grep -o '"model":"[A-Z0-9]*"' | cut -d'"' -f4)"
    echo "$scan" >>"$dir/cli.log"
    check "$timing read" "1005" "$(run --model KX100 read $slave 261 | grep -o '[0-9]\+$')"
    run --model KX100 write $slave 318 4321 >/dev/null
    check "$timing write" "4321" "$(run --model KX100 read $slave 318 | grep -o '[0-9]\+$')"
    run --model KX100 write $slave 318 1062 >/dev/null
    rm -f "$dir/up.ini"
    run --model KX100 upload $slave "$dir/up.ini" >/dev/null
    wrong=0
    for k in $(seq 1 108); do
        key=$(printf 'n%03d' "$k")
        want=$((1000 + k))
        [ "$k" = 106 ] && want=$slave
        got=$(grep -m1 "^$key=" "$dir/up.ini" 2>/dev/null | cut -d= -f2 | tr -d '\r')
        [ "$got" = "$want" ] || wrong=$((wrong + 1))
    done
    check "$timing upload: wrong or missing values" 0 "$wrong"
done
[ "$fail" = 0 ] || { echo "--- cli"; tail -20 "$dir/cli.log"; echo "--- server"; tail -5 "$dir/server.log"; }
exit $fail
