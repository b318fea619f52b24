#!/bin/bash
# Times Kelvane's ShredFile against two references doing the same work on the
# same disk, in one run:
#   dd     - writes the same number of bytes from /dev/zero over the file in place,
#            one run per pass, each ending with fdatasync (conv=notrunc,fdatasync)
#   shred  - GNU shred -n PASSES on a file of the same size (its own random data)
# and prints the ratios (Kelvane time / reference time; below 1 means faster).
#
# usage: bench/shred_vs_dd.sh [SIZE_MIB=512] [PASSES=3] [BLOCK=102400] [DIR=/var/tmp] [ROUNDS=2]
# Needs a built tree (make test or cmake --build build); BUILD=... picks the folder.
set -euo pipefail
SIZE_MIB=${1:-512}
PASSES=${2:-3}
BLOCK=${3:-102400}
DIR=${4:-/var/tmp}
ROUNDS=${5:-2}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BENCH=${BUILD:-$HERE/build}/shred_bench
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
FSTYPE=$(stat -f -c %T "$DIR")
[ "$FSTYPE" = tmpfs ] && echo "warning: $DIR is a tmpfs; the figures say nothing about a disk" >&2

WORK=$(mktemp -d "$DIR/kelvane-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
FILE=$WORK/target
BYTES=$((SIZE_MIB * 1024 * 1024))

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
elapsed() { calc "$2 - $1"; }

best_k=""; best_dd=""; best_sh=""
min() { if [ -z "$1" ] || [ "$(calc "($2 < $1)")" != 0.000000 ]; then echo "$2"; else echo "$1"; fi; }

echo "file: $SIZE_MIB MiB, $PASSES passes, block $BLOCK bytes, on $DIR ($FSTYPE), best of $ROUNDS"
"$BENCH" "$FILE" "$SIZE_MIB" 1 "$BLOCK" >/dev/null  # create and allocate the file once
for round in $(seq 1 "$ROUNDS"); do
    sync
    t0=$(now)
    "$BENCH" "$FILE" "$SIZE_MIB" "$PASSES" "$BLOCK" >/dev/null
    t1=$(now)
    k=$(elapsed "$t0" "$t1")

    sync
    t0=$(now)
    for p in $(seq 1 "$PASSES"); do
        dd if=/dev/zero of="$FILE" bs="$BLOCK" count="$BYTES" iflag=count_bytes \
            conv=notrunc,fdatasync status=none
    done
    t1=$(now)
    d=$(elapsed "$t0" "$t1")

    sync
    t0=$(now)
    shred -n "$PASSES" "$FILE"
    t1=$(now)
    s=$(elapsed "$t0" "$t1")

    printf 'round %d: kelvane %.2f s, dd %.2f s, shred %.2f s\n' "$round" "$k" "$d" "$s"
    best_k=$(min "$best_k" "$k"); best_dd=$(min "$best_dd" "$d"); best_sh=$(min "$best_sh" "$s")
done
MIB=$((SIZE_MIB * PASSES))
printf 'kelvane: %.2f s (%.0f MiB/s)\n' "$best_k" "$(calc "$MIB / $best_k")"
printf 'dd:      %.2f s (%.0f MiB/s)\n' "$best_dd" "$(calc "$MIB / $best_dd")"
printf 'shred:   %.2f s (%.0f MiB/s)\n' "$best_sh" "$(calc "$MIB / $best_sh")"
printf 'ratio kelvane/dd:    %.3f\n' "$(calc "$best_k / $best_dd")"
printf 'ratio kelvane/shred: %.3f\n' "$(calc "$best_k / $best_sh")"
