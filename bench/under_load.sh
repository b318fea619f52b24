#!/bin/bash
# Runs a command TIMES times in a row while other processes keep both cores and
# the disk busy: two busy loops and a writer that rewrites a file of 256 MiB in
# a temporary folder of DIR with direct I/O and fdatasync, again and again. The
# load ends with the script (each part is also bounded by LIMIT seconds).
# Prints each round's result and how many passed; exits 1 unless every one did.
#
# usage: bench/under_load.sh [TIMES=10] [DIR=/var/tmp] -- COMMAND...
# LIMIT (environment): seconds the load may last at most (default 3600).
set -eu
TIMES=10
DIR=/var/tmp
if [ "${1:-}" != "--" ]; then TIMES=$1; shift; fi
if [ "${1:-}" != "--" ]; then DIR=$1; shift; fi
[ "${1:-}" = "--" ] || { echo "usage: $0 [TIMES] [DIR] -- COMMAND..." >&2; exit 2; }
shift
LIMIT=${LIMIT:-3600}
WORK=$(mktemp -d "$DIR/kelvane-load-XXXXXX")
[ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder in $DIR" >&2; exit 1; }
PIDS=()
cleanup() {
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

for _ in 1 2; do
    timeout "$LIMIT" sh -c 'while :; do :; done' &
    PIDS+=($!)
done
timeout "$LIMIT" sh -c 'while :; do
    dd if=/dev/zero of="$1/load" bs=1M count=256 oflag=direct conv=fdatasync status=none
done' sh "$WORK" &
PIDS+=($!)

passed=0
for r in $(seq 1 "$TIMES"); do
    if "$@" >"$WORK/out" 2>&1; then
        passed=$((passed + 1))
        echo "round $r: passed"
    else
        echo "round $r: FAILED"
        tail -30 "$WORK/out"
    fi
done
echo "$passed of $TIMES passed under load"
[ "$passed" = "$TIMES" ]
