#!/bin/bash
# How long Stop takes: the time from the stop request to the end of the run while
# one large file is being overwritten (default 1 GiB, 3 passes). The run is that
# of kelvane-cli, which SIGINT stops as the window's Stop button does (the same
# run, the same stop flag). Reference in the same run: the time one whole pass of
# the same file takes, which is what a stop had to wait for when a file under way
# was always finished (and up to all passes of it).
#
# usage: bench/stop_latency.sh [KIND=tmpfs|ext4] [SIZE_MIB=1024] [PASSES=3] [ROUNDS=3]
# Needs root (unshare -m, mount). tmpfs: the file system is a tmpfs in memory.
# ext4: an image of SIZE_MIB + 256 MiB in a temporary folder of /var/tmp,
# loop-mounted with direct I/O, so the writes reach the disk below. Everything is
# mounted in a private mount namespace below a fresh temporary folder and removed.
# Prints, per round, the seconds from the signal to the program's end, whether
# the file was left under its own name, and the log line of the file; then the
# median and the worst, and their ratios to one pass.
set -eu
KIND=${1:-tmpfs}
SIZE_MIB=${2:-1024}
PASSES=${3:-3}
ROUNDS=${4:-3}
HERE=$(cd "$(dirname "$0")/.." && pwd)
CLI=$(readlink -f "${BUILD:-$HERE/build}/kelvane-cli")
[ -x "$CLI" ] || { echo "build first: $CLI is missing" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "needs root (unshare -m, mount)" >&2; exit 77; }

if [ "${KELVANE_STOP_BENCH_INNER:-}" != 1 ]; then
    WORK=$(mktemp -d /var/tmp/kelvane-stopbench-XXXXXX)
    [ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder" >&2; exit 1; }
    trap 'rm -rf "$WORK"' EXIT
    KELVANE_STOP_BENCH_INNER=1 WORK=$WORK BUILD=${BUILD:-$HERE/build} \
        unshare -m --propagation private "$0" "$KIND" "$SIZE_MIB" "$PASSES" "$ROUNDS"
    exit $?
fi

# Inside the private mount namespace: nothing mounted here is seen outside.
MNT=$WORK/mnt
LOOP=""
cleanup() {
    if mountpoint -q "$MNT"; then umount "$MNT"; fi
    if [ -n "$LOOP" ]; then losetup -d "$LOOP" 2>/dev/null || true; fi
}
trap cleanup EXIT
mkdir -p "$MNT" "$WORK/home"
case "$KIND" in
    tmpfs) mount -t tmpfs -o size=$((SIZE_MIB + 64))m kelvane-bench "$MNT" ;;
    ext4)
        truncate -s $((SIZE_MIB + 256))M "$WORK/image"
        mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image"
        LOOP=$(losetup --direct-io=on -f --show "$WORK/image")
        mount "$LOOP" "$MNT"
        ;;
    *) echo "KIND is tmpfs or ext4" >&2; exit 2 ;;
esac
export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config
FILE=$MNT/target.bin
now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
make_file() {
    head -c $((SIZE_MIB * 1048576)) /dev/zero | tr '\0' 'K' >"$FILE"
    sync "$FILE"
}

# The reference: one whole uninterrupted run, per pass.
make_file
t0=$(now)
"$CLI" shred -y -q -n "$PASSES" --keep-names "$FILE" >/dev/null 2>&1
t1=$(now)
pass=$(echo "($t1 - $t0) / $PASSES" | bc -l)
printf 'one pass of %d MiB (%s): %.3f s\n' "$SIZE_MIB" "$KIND" "$pass"

stops=()
for r in $(seq "$ROUNDS"); do
    make_file
    "$CLI" shred -y -n "$PASSES" --log "$WORK/log.txt" "$FILE" >/dev/null 2>&1 &
    pid=$!
    # Halfway through pass 1, 2, 3, 1, ...: the file is under way. (A stop that
    # lands while a pass is being synced waits for that sync: it cannot be cut.)
    sleep "$(echo "$pass * (0.5 + ($r - 1) % $PASSES)" | bc -l)"
    t0=$(now)
    kill -INT "$pid"
    status=0
    wait "$pid" || status=$?
    t1=$(now)
    s=$(echo "$t1 - $t0" | bc -l)
    stops+=("$s")
    left=no
    [ -f "$FILE" ] && [ "$(stat -c %s "$FILE")" = $((SIZE_MIB * 1048576)) ] && left=yes
    line=$(tr -d '\r' <"$WORK/log.txt" | grep -a "target.bin \[" | tail -n 1 || true)
    printf 'round %d: stop to end %.3f s, exit %d, file left in place: %s, log: %s\n' \
        "$r" "$s" "$status" "$left" "${line##*/}"
    rm -f "$FILE"
done
med=$(printf '%s\n' "${stops[@]}" | median)
worst=$(printf '%s\n' "${stops[@]}" | sort -n | tail -n 1)
printf 'stop to end: median %.3f s, worst %.3f s; ratio to one pass: %.4f (median), %.4f (worst)\n' \
    "$med" "$worst" "$(echo "$med / $pass" | bc -l)" "$(echo "$worst / $pass" | bc -l)"
