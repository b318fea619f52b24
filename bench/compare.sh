#!/bin/bash
# Runs every speed comparison of Kelvane against its reference on this machine, in
# one go, and prints each figure and ratio (below 1: Kelvane was faster):
#   1. one large file, 3 passes: the engine against dd writing the same bytes with
#      the same syncs (bench/shred_vs_dd.sh), and the peak memory of both sizes
#   2. many small files (3,000 and 10,000 of 4 KiB in 30 folders, 3 passes):
#      `kelvane -exec` without a display against `find -exec shred -n 3 -u {} +`,
#      on DIR and on a tmpfs (/dev/shm), each also with the other choice of
#      files at once (KELVANE_FILES_AT_ONCE), to show where the pool pays
#   3. an unattended run of one empty file (`kelvane -exec` and `kelvane-cli
#      shred`, median of 5, on a tmpfs), and the system calls per small file
#      (strace -c of 2,000 empty files) (bench/start_and_calls.sh)
#   4. the main window: shown after start, adding a folder of 100,000 files,
#      Stop during such a listing, Select all / Invert / Remove, peak memory
#   5. the terminal run (kelvane-cli shred, which lists as it shreds): trees of
#      4 KiB files against `find DIR -type f -exec shred -n 3 -u {} +`
#      (bench/cli_vs_shred.sh), and its peak memory on larger trees
# Everything is written below a temporary folder of DIR (at most SIZE_MIB plus a
# few dozen MiB) and removed at the end.
#
# usage: bench/compare.sh [DIR=/var/tmp] [SIZE_MIB=256] [ROUNDS=3] [WINDOW_FILES=100000]
# COUNTS="3000 10000" (environment) sets the numbers of small files.
# CLI_COUNTS="10000" sets the trees of the terminal run timed against find+shred
# (shred takes about 40 ms a file on a disk that syncs: "10000 100000" takes more
# than an hour); CLI_PEAK="100000" the trees its peak memory is measured on, and
# CLI_MILLION=1 adds a tree of 1,000,000 files (4 GiB in DIR, a quarter of an hour).
# SMALL_FS="ext4 btrfs" adds 3,000 files of 4 KiB, 3 passes, against find+shred on
# loop images of those file systems (bench/small_files_fs.sh, 1 GiB in DIR each).
set -euo pipefail
DIR=${1:-/var/tmp}
SIZE_MIB=${2:-256}
ROUNDS=${3:-3}
WINDOW_FILES=${4:-100000}
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$HERE/build}
KELVANE=$BUILD/kelvane
for p in "$KELVANE" "$BUILD/kelvane-cli" "$BUILD/shred_bench" "$BUILD/window_bench"; do
    [ -x "$p" ] || { echo "build first: $p is missing" >&2; exit 1; }
done
command -v shred >/dev/null || { echo "shred (coreutils) is missing" >&2; exit 1; }

WORK=$(mktemp -d "$DIR/kelvane-compare-XXXXXX")
[ -n "$WORK" ] && [ -d "$WORK" ] || { echo "no temporary folder in $DIR" >&2; exit 1; }
SHM=$(mktemp -d /dev/shm/kelvane-compare-XXXXXX)
[ -n "$SHM" ] && [ -d "$SHM" ] || { rm -rf "$WORK"; echo "no temporary folder in /dev/shm" >&2; exit 1; }
trap 'cd / && rm -rf "$WORK" "$SHM"' EXIT
cd "$WORK"

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
now() { date +%s.%N; }

# Unattended runs: no display, settings of our own that ask nothing before each file.
unset DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$WORK/config
settings() {
    mkdir -p "$XDG_CONFIG_HOME/Tessarin/Kelvane"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>3</Iterations>\r\n</InitFile>\r\n' \
        >"$XDG_CONFIG_HOME/Tessarin/Kelvane/Kelvane.ini"
    rm -f "$XDG_CONFIG_HOME"/Tessarin/Kelvane/KelvaneLog*.txt
}

echo "== 1. one large file: $SIZE_MIB MiB, 3 passes, on $DIR ($(stat -f -c %T "$DIR"))"
"$HERE/bench/shred_vs_dd.sh" "$SIZE_MIB" 3 102400 "$WORK" "$ROUNDS" | grep -E '^(kelvane|dd|ddrand|shred|ratio)'
for mib in 16 "$SIZE_MIB"; do
    peak=$(/usr/bin/time -f %M "$BUILD/shred_bench" "$WORK/peak" "$mib" 1 2>&1 >/dev/null | tail -1)
    echo "peak memory shredding $mib MiB: $peak KiB"
done
rm -f "$WORK/peak"

# make_tree ROOT COUNT: COUNT files of 4 KiB in 30 folders, on the device.
make_tree() {
    local root=$1 count=$2
    mkdir -p "$root"
    head -c 4096 /dev/urandom >"$WORK/block"
    for d in $(seq 0 29); do mkdir -p "$root/d$d"; done
    for i in $(seq 0 $((count - 1))); do cp "$WORK/block" "$root/d$((i % 30))/f$i"; done
    sync
}

# One unattended run over a fresh tree; prints "seconds peak_KiB".
kelvane_run() {
    local root=$1 count=$2 t0 peak
    settings
    make_tree "$root" "$count"
    t0=$(now)
    peak=$(/usr/bin/time -f %M "$KELVANE" -exec "$root" 2>&1 >/dev/null | tail -1)
    echo "$(calc "$(now) - $t0") $peak"
    [ -z "$(find "$root" -type f 2>/dev/null | head -1)" ] || echo "warning: kelvane left files" >&2
    rm -rf "$root"
}

# small_files BASE COUNT OTHER: kelvane as it chooses, kelvane with
# KELVANE_FILES_AT_ONCE=OTHER (the pool turned off, or forced on where it is not
# used), and find+shred.
small_files() {
    local base=$1 count=$2 other=$3 tk peak to ts t0
    read -r tk peak < <(kelvane_run "$base/k" "$count")
    read -r to _ < <(KELVANE_FILES_AT_ONCE=$other kelvane_run "$base/k" "$count")
    make_tree "$base/s" "$count"
    t0=$(now)
    find "$base/s" -type f -exec shred -n 3 -u {} +
    ts=$(calc "$(now) - $t0")
    rm -rf "$base/s"
    printf '%6d files: kelvane %7.3f s (peak %s KiB), with %d at once %7.3f s, find+shred %7.3f s, ratio %.3f\n' \
        "$count" "$tk" "$peak" "$other" "$to" "$ts" "$(calc "$tk / $ts")"
}

echo "== 2. small files of 4 KiB, 3 passes (kelvane's own choice of files at once, then the other)"
echo "on $WORK ($(stat -f -c %T "$WORK")): the pool is used; 1 at once for comparison"
for n in ${COUNTS:-3000 10000}; do small_files "$WORK" "$n" 1; done
echo "on $SHM ($(stat -f -c %T "$SHM")): the pool is not used; 8 at once forced for comparison"
for n in ${COUNTS:-3000 10000}; do small_files "$SHM" "$n" 8; done

echo "== 3. start-up on one empty file (median of 5) and system calls per small file"
BUILD=$BUILD "$HERE/bench/start_and_calls.sh" 5 2000

echo "== 4. main window, $WINDOW_FILES files"
"$BUILD/window_bench" "$WINDOW_FILES" "$WORK" 2>/dev/null

echo "== 5. terminal run: kelvane-cli shred against find -exec shred, and its peak memory"
peak_counts=${CLI_PEAK:-100000}
[ "${CLI_MILLION:-0}" = 1 ] && peak_counts="$peak_counts 1000000"
BUILD=$BUILD "$HERE/bench/cli_vs_shred.sh" "$WORK" "${CLI_COUNTS:-10000}" "$peak_counts"

for fs in ${SMALL_FS:-}; do
    echo "== 6. small files on $fs"
    BUILD=$BUILD SYNC_BOTH=1 "$HERE/bench/small_files_fs.sh" "$fs" 3000 3 "$ROUNDS" "$DIR"
done
