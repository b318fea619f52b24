#!/bin/bash
# How many old file names a deletion leaves on the raw device, by file system.
# Each case: a fresh loop image; 3,000 small files in one folder whose names carry
# a marker; synced; then deleted by one method; unmounted; the image searched for
# the marker. Each figure is "all (in the journal)": ext4's journal is its inode
# 8 (dumped with debugfs), xfs's the internal log (placed with xfs_db); btrfs and
# FAT have none. FAT keeps long names in UTF-16 pieces of 13 characters, so there
# the first piece of the marker is searched in that form.
# Methods: rm -rf, find -exec shred -n 3 -u, kelvane -exec (3 passes), and an
# earlier kelvane binary when given.
# Needs root. Usage: bench/name_copies.sh [BUILD_DIR] [OLD_KELVANE]
# FS="ext4 ext4-nodx xfs btrfs vfat", COLS="rm shred old new" and FILES=3000
# (environment) pick the file systems, the methods and the number of files.
set -uo pipefail
BUILD=${1:-build}
OLD=${2:-}
[ -n "$OLD" ] && OLD=$(readlink -f "$OLD")
NEW=$(readlink -f "$BUILD/kelvane")
FILES=${FILES:-3000}
WORK=$(mktemp -d /tmp/kelvane-names-XXXXXX)
[ -n "$WORK" ] && [ -d "$WORK" ] || exit 1
MNT="$WORK/mnt"
MARK="kvnamemark"
. "$(dirname "$0")/raw_image.sh"
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
    # A kernel without vfat: the FUSE driver on the same image.
    mount -o loop "$WORK/image" "$MNT" 2>/dev/null || { [ "$1" = vfat ] && fusefat -o rw+ "$WORK/image" "$MNT"; } || exit 1
    mkdir "$MNT/secret"
    python3 - "$MNT/secret" "$MARK" "$FILES" <<'PY'
import sys
folder, mark, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
for i in range(n):
    with open(f"{folder}/{mark}-{i:04d}.txt", "w") as f:
        f.write("x" * (i % 7 + 1))
PY
    sync
}

marks() {  # file: occurrences of the marker, read past the page cache
    if [ "$FSKIND" = vfat ]; then
        raw_bytes "$1" | LC_ALL=C grep -a -o -P 'k\x00v\x00n\x00a\x00m\x00' | wc -l
    else
        raw_bytes "$1" | LC_ALL=C grep -a -o -F "$MARK" | wc -l
    fi
}

journal() {  # the journal's (or log's) bytes, into $WORK/journal
    rm -f "$WORK/journal"
    drop_cached "$WORK/image"  # debugfs and xfs_db read the image themselves
    case "$FSKIND" in
        ext4*) debugfs -R "dump <8> $WORK/journal" "$WORK/image" >/dev/null 2>&1 ;;
        xfs)
            local start blocks bs byte
            start=$(xfs_db -r -c "sb 0" -c "print logstart" "$WORK/image" | awk '{print $3}')
            blocks=$(xfs_db -r -c "sb 0" -c "print logblocks" "$WORK/image" | awk '{print $3}')
            bs=$(xfs_db -r -c "sb 0" -c "print blocksize" "$WORK/image" | awk '{print $3}')
            byte=$(xfs_db -r -c "convert fsb $start byte" "$WORK/image" | awk '{print $1}')
            dd if="$WORK/image" of="$WORK/journal" bs="$bs" skip=$((byte / bs)) count="$blocks" iflag=direct status=none
            ;;
    esac
}

count() {  # old names left in the image: "all (journal)"
    umount "$MNT"
    while mountpoint -q "$MNT"; do sleep 0.2; done
    local all j=-
    all=$(marks "$WORK/image")
    journal
    [ -f "$WORK/journal" ] && j=$(marks "$WORK/journal")
    echo "$all($j)"
}

kelvane() {  # binary
    local cfg="$WORK/cfg"
    rm -rf "$cfg"; mkdir -p "$cfg/Tessarin/Kelvane"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>3</Iterations>\r\n</InitFile>\r\n' \
        >"$cfg/Tessarin/Kelvane/Kelvane.ini"
    XDG_CONFIG_HOME="$cfg" "$1" -exec "$MNT/secret" >/dev/null 2>&1
    [ ! -e "$MNT/secret" ] || echo "warning: $MNT/secret left" >&2
}

now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$@"; sync; T=$(awk "BEGIN{printf \"%.1f\", $(now)-$t0}"); }

printf '%-10s %14s %14s %14s %14s %14s\n' fs planted rm shred "k-before" "k-after"
for fs in ${FS:-ext4 ext4-nodx xfs btrfs vfat}; do
    FSKIND=$fs
    command -v "mkfs.${fs%%-*}" >/dev/null || { echo "$fs: mkfs not found"; continue; }
    row=()
    times=""
    make_fs "$fs"; row+=("$(count)")
    has() { [[ " ${COLS:-rm shred old new} " == *" $1 "* ]]; }
    if has rm; then make_fs "$fs"; rm -rf "$MNT/secret"; sync; row+=("$(count)"); else row+=("-"); fi
    if has shred; then
        make_fs "$fs"; timed find "$MNT/secret" -type f -exec shred -n 3 -u {} +
        rmdir "$MNT/secret"; sync; row+=("$(count)"); times+=" shred ${T}s"
    else row+=("-"); fi
    if [ -n "$OLD" ] && has old; then make_fs "$fs"; timed kelvane "$OLD"; row+=("$(count)"); times+=" before ${T}s"; else row+=("-"); fi
    if has new; then make_fs "$fs"; timed kelvane "$NEW"; row+=("$(count)"); times+=" after ${T}s"; else row+=("-"); fi
    printf '%-10s %14s %14s %14s %14s %14s  %s\n' "$fs" "${row[@]}" "$times"
done
