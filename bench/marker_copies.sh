#!/bin/bash
# How much of a deleted marker the free-space fill leaves on the raw device, by
# file system. Each case: a 128 MiB image (xfs: 320 MiB), loop-mounted; marker data written as
# 600 small files (40 and 3000 bytes) and one large file that fills the rest
# (as root, so the root reserve is filled too); all deleted; then one fill;
# then the image is searched for the marker.
# Needs root. Usage: bench/marker_copies.sh [BUILD_DIR] [OLD_KELVANE]
#   OLD_KELVANE: a kelvane binary of an earlier version, run with -drives, for
#   the "before" column (skipped when not given).
set -uo pipefail
BUILD=${1:-build}
OLD=${2:-}
BENCH=$(readlink -f "$BUILD/fill_bench")
NEW=$(readlink -f "$BUILD/kelvane")
WORK=$(mktemp -d /tmp/kelvane-markers-XXXXXX)
MNT="$WORK/mnt"
MARK="KELVANE-MARKER-5e1f0c-"
. "$(dirname "$0")/raw_image.sh"
mkdir "$MNT"
cleanup() { mountpoint -q "$MNT" && umount "$MNT"; rm -rf "$WORK"; }
trap cleanup EXIT

make_fs() {  # kind
    rm -f "$WORK/image"
    # mkfs.xfs takes nothing under 300 MiB.
    if [ "$1" = xfs ]; then truncate -s 320M "$WORK/image"; else truncate -s 128M "$WORK/image"; fi
    case "$1" in
        ext4) mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        ext4-inline) mkfs.ext4 -q -F -O inline_data -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        ext4-m0) mkfs.ext4 -q -F -m 0 -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        xfs) mkfs.xfs -q -f -K "$WORK/image" ;;
        btrfs) mkfs.btrfs -q -f "$WORK/image" >/dev/null 2>&1 ;;
    esac
    mount -o loop "$WORK/image" "$MNT"
}

plant() {
    python3 - "$MNT" "$MARK" <<'PY'
import os, sys
mnt, mark = sys.argv[1], sys.argv[2].encode()
os.makedirs(mnt + "/secret", exist_ok=True)
for i in range(600):
    size = 40 if i % 2 else 3000
    with open(f"{mnt}/secret/small{i:04d}", "wb") as f:
        f.write((mark * (size // len(mark) + 1))[:size])
block = mark * (1048576 // len(mark))
try:
    with open(mnt + "/secret/big", "wb") as f:
        while True:
            f.write(block); f.flush()
except OSError:
    pass
PY
    sync
    rm -rf "$MNT/secret"
    sync
}

count() {  # KiB of marker left in the image
    umount "$MNT"
    local n
    n=$(raw_bytes "$WORK/image" | grep -a -o -F "$MARK" | wc -l)
    echo $(( n * ${#MARK} / 1024 ))
}

fill_old() {
    mkdir -p "$WORK/cfg"
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$WORK/cfg" "$OLD" -drives "$MNT/" >/dev/null 2>&1
}
fill_bench() { "$BENCH" "$MNT/" 1 0 "$1" off >/dev/null 2>&1; }
fill_new() {
    mkdir -p "$WORK/cfg2"
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$WORK/cfg2" "$NEW" -drives "$MNT/" >/dev/null 2>&1
}

printf '%-12s %10s %10s %12s %12s %12s\n' "fs" "deleted" "old" "big only" "big+small" "kelvane"
for fs in ext4 ext4-inline ext4-m0 xfs btrfs; do
    command -v "mkfs.${fs%%-*}" >/dev/null || { echo "$fs: mkfs not found"; continue; }
    row=()
    make_fs "$fs"; plant; row+=("$(count)")
    if [ -n "$OLD" ]; then make_fs "$fs"; plant; fill_old; row+=("$(count)"); else row+=("-"); fi
    make_fs "$fs"; plant; fill_bench off; row+=("$(count)")
    make_fs "$fs"; plant; fill_bench on; row+=("$(count)")
    make_fs "$fs"; plant; fill_new; row+=("$(count)")
    printf '%-12s %10s %10s %12s %12s %12s   (KiB of marker left)\n' "$fs" "${row[@]}"
done
