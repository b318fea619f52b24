#!/bin/bash
# Compares the free-space fill with dd on the same scratch file system: a 256 MiB
# ext4 image, loop-mounted under a temporary folder and removed afterwards.
# Needs root. Usage: bench/fill_vs_dd.sh [BUILD_DIR] [ROUNDS]
# Prints the time of each fill and the ratios fill time / dd time; dd writes
# until the file system is full (bs=1M oflag=direct), as the fill does. The
# fill's time covers the whole drive: filling, deleting its files and TRIM.
# (For 3 iterations: fill time / 3 dd times, i.e. per byte written.)
set -euo pipefail
BUILD=${1:-build}
ROUNDS=${2:-5}
BENCH=$(readlink -f "$BUILD/fill_bench")
[ -x "$BENCH" ] || { echo "build fill_bench first ($BENCH)"; exit 1; }
WORK=$(mktemp -d /tmp/kelvane-fillbench-XXXXXX)
MNT="$WORK/mnt"
LOOP=""
cleanup() {
    if mountpoint -q "$MNT"; then umount "$MNT"; fi
    if [ -n "$LOOP" ]; then losetup -d "$LOOP" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
mkdir "$MNT"
truncate -s 256M "$WORK/image"
mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image"
# Direct I/O on the loop device: the image's writes go to the disk below instead
# of piling up in the page cache, so both writers pay for the same device.
LOOP=$(losetup --direct-io=on -f --show "$WORK/image")
mount "$LOOP" "$MNT"

free_mib() { echo $(( $(stat -f -c '%a * %S' "$MNT") / 1048576 )); }
now() { date +%s.%N; }

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

dd_times=(); fill1_times=(); fill3_times=()
for r in $(seq "$ROUNDS"); do
    sync
    n=$(free_mib)
    t0=$(now)
    dd if=/dev/zero of="$MNT/ddfile" bs=1M oflag=direct status=none 2>/dev/null || true
    sync "$MNT/ddfile"
    t1=$(now)
    rm -f "$MNT/ddfile"; sync
    dd_times+=("$(echo "$t1 - $t0" | bc -l)")

    out=$("$BENCH" "$MNT/" 1); sync
    fill1_times+=("$(echo "$out" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p')")
    echo "round $r: dd ${n} MiB in ${dd_times[-1]} s; fill x1: $out"
    out=$("$BENCH" "$MNT/" 3); sync
    fill3_times+=("$(echo "$out" | sed -n 's/.*seconds=\([0-9.]*\).*/\1/p')")
    echo "round $r: fill x3: $out"
done
dd_med=$(printf '%s\n' "${dd_times[@]}" | median)
f1_med=$(printf '%s\n' "${fill1_times[@]}" | median)
f3_med=$(printf '%s\n' "${fill3_times[@]}" | median)
printf 'median seconds: dd %.3f, fill x1 %.3f, fill x3 %.3f\n' "$dd_med" "$f1_med" "$f3_med"
printf 'ratio fill x1 / dd: %.2f\n' "$(echo "$f1_med / $dd_med" | bc -l)"
printf 'ratio fill x3 / (3 * dd): %.2f\n' "$(echo "$f3_med / (3 * $dd_med)" | bc -l)"
