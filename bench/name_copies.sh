#!/bin/bash
# How many old file names a deletion leaves on the raw device, by file system.
# Each case: a fresh loop image; 3,000 small files in one folder whose names carry
# a marker; synced; then deleted by one method; unmounted; the image searched for
# the marker. Methods: rm -rf, find -exec shred -n 3 -u, kelvane -exec (3 passes),
# and an earlier kelvane binary when given.
# Needs root. Usage: bench/name_copies.sh [BUILD_DIR] [OLD_KELVANE]
# FS="ext4 ext4-nodx xfs btrfs vfat" and COLS="rm shred old new" (environment)
# pick the file systems and the methods.
set -uo pipefail
BUILD=${1:-build}
OLD=${2:-}
NEW=$(readlink -f "$BUILD/kelvane")
WORK=$(mktemp -d /tmp/kelvane-names-XXXXXX)
MNT="$WORK/mnt"
MARK="kvnamemark"
mkdir "$MNT"
cleanup() { mountpoint -q "$MNT" && umount "$MNT"; rm -rf "$WORK"; }
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY

make_fs() {  # kind
    rm -f "$WORK/image"
    if [ "$1" = xfs ]; then truncate -s 320M "$WORK/image"; else truncate -s 128M "$WORK/image"; fi
    case "$1" in
        ext4) mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        ext4-nodx) mkfs.ext4 -q -F -O ^dir_index -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        xfs) mkfs.xfs -q -f -K "$WORK/image" ;;
        btrfs) mkfs.btrfs -q -f "$WORK/image" >/dev/null 2>&1 ;;
        vfat) mkfs.vfat "$WORK/image" >/dev/null ;;
    esac
    mount -o loop "$WORK/image" "$MNT"
    mkdir "$MNT/secret"
    for i in $(seq -w 0 2999); do printf 'x%.0s' $(seq 1 $((10#$i % 7 + 1))) >"$MNT/secret/$MARK-$i.txt"; done
    sync
}

count() {  # old names left in the image
    umount "$MNT"
    grep -a -o -F "$MARK" "$WORK/image" | wc -l
}

kelvane() {  # binary
    local cfg="$WORK/cfg"
    rm -rf "$cfg"; mkdir -p "$cfg/Tessarin/Kelvane"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>3</Iterations>\r\n</InitFile>\r\n' \
        >"$cfg/Tessarin/Kelvane/Kelvane.ini"
    XDG_CONFIG_HOME="$cfg" "$1" -exec "$MNT/secret" >/dev/null 2>&1
    [ -z "$(ls -A "$MNT/secret" 2>/dev/null)" ] || echo "warning: files left" >&2
}

printf '%-10s %8s %8s %8s %10s %10s\n' fs planted rm shred "k-before" "k-after"
for fs in ${FS:-ext4 ext4-nodx xfs btrfs vfat}; do
    command -v "mkfs.${fs%%-*}" >/dev/null || { echo "$fs: mkfs not found"; continue; }
    row=()
    make_fs "$fs"; row+=("$(count)")
    has() { [[ " ${COLS:-rm shred old new} " == *" $1 "* ]]; }
    if has rm; then make_fs "$fs"; rm -rf "$MNT/secret"; sync; row+=("$(count)"); else row+=("-"); fi
    if has shred; then make_fs "$fs"; find "$MNT/secret" -type f -exec shred -n 3 -u {} +; sync; row+=("$(count)"); else row+=("-"); fi
    if [ -n "$OLD" ] && has old; then make_fs "$fs"; kelvane "$OLD"; sync; row+=("$(count)"); else row+=("-"); fi
    t=-
    if has new; then make_fs "$fs"; t0=$(date +%s.%N); kelvane "$NEW"; sync; t=$(awk "BEGIN{printf \"%.1f\", $(date +%s.%N)-$t0}"); row+=("$(count)"); else row+=("-"); fi
    printf '%-10s %8s %8s %8s %10s %10s  (kelvane %ss)\n' "$fs" "${row[@]}" "$t"
done
