#!/bin/bash
# Times Kelvane's ShredFile against two references doing the same work on the
# same disk, in one run:
#   dd     - writes the same number of bytes from /dev/zero over the file in place,
#            one run per pass, each ending with fdatasync (conv=notrunc,fdatasync)
#   ddrand - the same with random bytes read from a file in the page cache
#   shred  - GNU shred -n PASSES on a file of the same size (its own random data)
# Kelvane is timed twice: with its random data, and with the fixed value 0, the
# same bytes dd writes. Virtual disks often store zeros (or any data) faster or
# slower than others, so like is compared with like as well.
# Prints the best time of each over ROUNDS rounds (the order rotates from round to
# round) and the ratios Kelvane / reference: below 1 means Kelvane was faster.
#
# usage: bench/shred_vs_dd.sh [SIZE_MIB=512] [PASSES=3] [BLOCK=102400] [DIR=/var/tmp] [ROUNDS=5]
# Needs a built tree (make test); BUILD=... picks another build folder.
set -euo pipefail
SIZE_MIB=${1:-512}
PASSES=${2:-3}
BLOCK=${3:-102400}
DIR=${4:-/var/tmp}
ROUNDS=${5:-5}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BENCH=${BUILD:-$HERE/build}/shred_bench
[ -x "$BENCH" ] || { echo "build first: $BENCH is missing" >&2; exit 1; }
command -v shred >/dev/null || { echo "shred (coreutils) is missing" >&2; exit 1; }
FSTYPE=$(stat -f -c %T "$DIR")
[ "$FSTYPE" = tmpfs ] && echo "warning: $DIR is a tmpfs; the figures say nothing about a disk" >&2

WORK=$(mktemp -d "$DIR/kelvane-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
FILE=$WORK/target
BYTES=$((SIZE_MIB * 1024 * 1024))

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
now() { date +%s.%N; }

run_kelvane() { "$BENCH" "$FILE" "$SIZE_MIB" "$PASSES" "$BLOCK" >/dev/null; }
run_kelvane0() { "$BENCH" "$FILE" "$SIZE_MIB" "$PASSES" "$BLOCK" 0 >/dev/null; }
run_dd() {
    for _ in $(seq 1 "$PASSES"); do
        dd if=/dev/zero of="$FILE" bs="$BLOCK" count="$BYTES" iflag=count_bytes \
            conv=notrunc,fdatasync status=none
    done
}
run_ddrand() {
    for _ in $(seq 1 "$PASSES"); do
        dd if="$WORK/random" of="$FILE" bs="$BLOCK" conv=notrunc,fdatasync status=none
    done
}
run_shred() { shred -n "$PASSES" "$FILE"; }

TOOLS=(kelvane kelvane0 dd ddrand shred)
declare -A BEST
echo "file: $SIZE_MIB MiB, $PASSES passes, block $BLOCK bytes, on $DIR ($FSTYPE), best of $ROUNDS"
"$BENCH" "$FILE" "$SIZE_MIB" 1 "$BLOCK" >/dev/null  # create and allocate the file once
head -c "$BYTES" /dev/urandom >"$WORK/random"
cat "$WORK/random" >/dev/null  # into the page cache
for round in $(seq 1 "$ROUNDS"); do
    line="round $round:"
    n=${#TOOLS[@]}
    for i in $(seq 0 $((n - 1))); do
        tool=${TOOLS[$(((i + round) % n))]}
        sync
        t0=$(now)
        "run_$tool"
        t=$(calc "$(now) - $t0")
        line="$line $tool $(calc "$t" | cut -c1-5) s,"
        if [ -z "${BEST[$tool]:-}" ] || [ "$(calc "($t < ${BEST[$tool]})")" != 0.000000 ]; then
            BEST[$tool]=$t
        fi
    done
    echo "${line%,}"
done
MIB=$((SIZE_MIB * PASSES))
for tool in "${TOOLS[@]}"; do
    printf '%-9s %6.2f s  %5.0f MiB/s\n' "$tool:" "${BEST[$tool]}" "$(calc "$MIB / ${BEST[$tool]}")"
done
printf 'ratio kelvane/dd:          %.3f\n' "$(calc "${BEST[kelvane]} / ${BEST[dd]}")"
printf 'ratio kelvane(zeros)/dd:   %.3f\n' "$(calc "${BEST[kelvane0]} / ${BEST[dd]}")"
printf 'ratio kelvane/ddrand:      %.3f\n' "$(calc "${BEST[kelvane]} / ${BEST[ddrand]}")"
printf 'ratio kelvane/shred:       %.3f\n' "$(calc "${BEST[kelvane]} / ${BEST[shred]}")"
