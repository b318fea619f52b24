#!/bin/bash
# Many small files on a file system of a given kind, against shred: COUNT files
# of 4 KiB in 30 folders, PASSES passes, `kelvane-cli shred -y -q` against
# `find -exec shred -n PASSES -u {} +` on the same tree, made afresh for each,
# ROUNDS times in turn; prints each time and the ratio of the medians (below 1:
# kelvane-cli was faster). With SYNC_BOTH=1 (environment) kelvane-cli also runs
# with KELVANE_SYNC_TOGETHER=1 (the passes of the files under way synced by one
# syncfs together, instead of each file's own fdatasync), to show what that gives.
# The file system is a loop image of IMAGE_MIB (default 1024) in a temporary
# folder of DIR, mounted in a mount namespace of its own (unshare -m) and
# removed at the end. Needs root.
#
# usage: bench/small_files_fs.sh [FS=btrfs] [COUNT=3000] [PASSES=3] [ROUNDS=3] [DIR=/var/tmp]
set -eu
FS=${1:-btrfs}
COUNT=${2:-3000}
PASSES=${3:-3}
ROUNDS=${4:-3}
DIR=${5:-/var/tmp}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$HERE/build}
BUILD=$(cd "$BUILD" && pwd)
if [ -z "${KELVANE_BENCH_UNSHARED:-}" ]; then
    exec env KELVANE_BENCH_UNSHARED=1 BUILD="$BUILD" SYNC_BOTH="${SYNC_BOTH:-}" \
        IMAGE_MIB="${IMAGE_MIB:-}" unshare -m --propagation private "$0" "$FS" "$COUNT" \
        "$PASSES" "$ROUNDS" "$DIR"
fi
CLI=$BUILD/kelvane-cli
[ -x "$CLI" ] || { echo "build first: $CLI is missing" >&2; exit 1; }
command -v "mkfs.$FS" >/dev/null || { echo "mkfs.$FS is missing" >&2; exit 1; }

WORK=$(mktemp -d "$DIR/kelvane-small-XXXXXX")
[ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder in $DIR" >&2; exit 1; }
MNT=$WORK/mnt
LOOP=
cleanup() {
    umount "$MNT" 2>/dev/null || true
    [ -z "$LOOP" ] || losetup -d "$LOOP" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
mkdir "$MNT"
# Allocated in full: a sparse image on a disk that fills up meanwhile fails its
# writes under the file system inside.
fallocate -l "${IMAGE_MIB:-1024}M" "$WORK/image" || truncate -s "${IMAGE_MIB:-1024}M" "$WORK/image"
case "$FS" in
    ext4) mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
    xfs) mkfs.xfs -q -f -K "$WORK/image" ;;
    btrfs) mkfs.btrfs -q -f -K "$WORK/image" >/dev/null 2>&1 ;;  # -K: no discard of the image
    *) "mkfs.$FS" -q -f "$WORK/image" >/dev/null 2>&1 ;;
esac
# Direct I/O on the loop device: the image's writes go to the disk below as the
# file system's syncs ask, instead of waiting in this machine's page cache.
LOOP=$(losetup --direct-io=on -f --show "$WORK/image")
# No discard: freed blocks would become holes in the image again.
if [ "$FS" = btrfs ]; then mount -o nodiscard "$LOOP" "$MNT"; else mount "$LOOP" "$MNT"; fi

unset DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$WORK/config
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

make_tree() {
    python3 - "$1" "$COUNT" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
block = os.urandom(4096)
for d in range(30):
    os.makedirs("%s/d%d" % (root, d))
for i in range(count):
    with open("%s/d%d/f%d" % (root, i % 30, i), "wb") as f:
        f.write(block)
PY
    sync
}

timed() {  # prints the seconds COMMAND... takes
    local t0
    t0=$(now)
    "$@" >/dev/null 2>&1 || echo "warning: $* failed" >&2
    sync
    calc "$(now) - $t0"
}

echo "$COUNT files of 4 KiB in 30 folders, $PASSES passes, on $FS ($LOOP), $ROUNDS rounds"
: >"$WORK/k"; : >"$WORK/k0"; : >"$WORK/s"
for r in $(seq 1 "$ROUNDS"); do
    make_tree "$MNT/k"
    tk=$(timed "$CLI" shred -y -q -n "$PASSES" "$MNT/k")
    [ ! -e "$MNT/k" ] || { echo "warning: kelvane-cli left entries" >&2; rm -rf "$MNT/k"; }
    echo "$tk" >>"$WORK/k"
    line="round $r: kelvane-cli $tk s"
    if [ "${SYNC_BOTH:-}" = 1 ]; then
        make_tree "$MNT/k"
        t0=$(KELVANE_SYNC_TOGETHER=1 timed "$CLI" shred -y -q -n "$PASSES" "$MNT/k")
        [ ! -e "$MNT/k" ] || { echo "warning: kelvane-cli left entries" >&2; rm -rf "$MNT/k"; }
        echo "$t0" >>"$WORK/k0"
        line="$line, synced together $t0 s"
    fi
    make_tree "$MNT/s"
    ts=$(timed find "$MNT/s" -type f -exec shred -n "$PASSES" -u {} +)
    rm -rf "$MNT/s"
    echo "$ts" >>"$WORK/s"
    echo "$line, find -exec shred $ts s"
done
mk=$(median <"$WORK/k")
ms=$(median <"$WORK/s")
printf 'median: kelvane-cli %.3f s, find -exec shred %.3f s, ratio %.3f\n' "$mk" "$ms" "$(calc "$mk / $ms")"
if [ "${SYNC_BOTH:-}" = 1 ]; then
    m0=$(median <"$WORK/k0")
    printf 'median synced together: %.3f s, ratio %.3f\n' "$m0" "$(calc "$m0 / $ms")"
fi
