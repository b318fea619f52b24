#!/bin/bash
# How many old file names a deletion leaves on the raw device, by file system and
# by user. Each case: a fresh loop image, in a mount namespace of its own; a tree
# of FILES files of 4 KiB in 30 folders, named kvnm-NNNN.txt, below a folder
# owned by the user who deletes (the user's home on that file system); synced;
# then deleted by one method; unmounted; the image read past the page cache and
# searched for the names. Each figure is "distinct names (all copies; in the
# journal)": ext4's journal is its inode 8 (dumped with debugfs), xfs's the
# internal log (placed with xfs_db); btrfs and FAT have none. FAT keeps long
# names in UTF-16 pieces of 13 characters, so there the names are searched in
# that form.
# Methods: rm -rf, find -exec shred -n 3 -u {} + (then rmdir), kelvane -exec
# (3 passes), and an earlier kelvane binary when given.
# AS="root user" picks who deletes: "user" is the test user kvnames (made when
# missing, no login, no home), who owns the tree. RUNS repeats each case.
# Needs root. Usage: bench/name_copies.sh [BUILD_DIR] [OLD_KELVANE]
# FS="ext4 ext4-nodx xfs btrfs vfat", COLS="rm shred old new", AS, RUNS=1 and
# FILES=3000 (environment) pick the file systems, the methods, the users, the
# repeats and the number of files.
set -eu
if [ -z "${KV_NAMES_NS:-}" ]; then
    # Every mount of this script lives and dies in a namespace of its own.
    KV_NAMES_NS=1 exec unshare -m --propagation private "$0" "$@"
fi
set -o pipefail
BUILD=${1:-build}
OLD=${2:-}
[ -n "$OLD" ] && OLD=$(readlink -f "$OLD")
NEW=$(readlink -f "$BUILD/kelvane")
FILES=${FILES:-3000}
RUNS=${RUNS:-1}
TESTUSER=kvnames
WORK=$(mktemp -d /tmp/kelvane-names-XXXXXX)
[ -n "$WORK" ] && [ -d "$WORK" ] || exit 1
chmod 755 "$WORK"
MNT="$WORK/mnt"
mkdir "$MNT"
LOOP=""
cleanup() {
    if mountpoint -q "$MNT"; then umount "$MNT" || umount -l "$MNT"; fi
    [ -z "$LOOP" ] || losetup -d "$LOOP" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY
id "$TESTUSER" >/dev/null 2>&1 || useradd -r -M -d /nonexistent -s /usr/sbin/nologin "$TESTUSER"
UID_T=$(id -u "$TESTUSER")
GID_T=$(id -g "$TESTUSER")

make_fs() {  # kind owner
    rm -f "$WORK/image"
    if [ "$1" = xfs ]; then truncate -s 320M "$WORK/image"; else truncate -s 128M "$WORK/image"; fi
    case "$1" in
        ext4) mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        ext4-nodx) mkfs.ext4 -q -F -O ^dir_index -E lazy_itable_init=0,lazy_journal_init=0,nodiscard "$WORK/image" ;;
        xfs) mkfs.xfs -q -f -K "$WORK/image" ;;
        btrfs) mkfs.btrfs -q -f "$WORK/image" >/dev/null 2>&1 ;;
        vfat) mkfs.vfat "$WORK/image" >/dev/null ;;
    esac
    LOOP=$(losetup -f --show "$WORK/image")
    if [ "$1" = vfat ]; then
        local opts=""
        [ "$2" = user ] && opts=",uid=$UID_T,gid=$GID_T,umask=077"
        # A kernel without vfat: the FUSE driver on the same image.
        mount -o "rw$opts" "$LOOP" "$MNT" 2>/dev/null ||
            { losetup -d "$LOOP"; LOOP=""; fusefat -o rw+,allow_other "$WORK/image" "$MNT"; } || exit 1
    else
        mount "$LOOP" "$MNT"
    fi
    mkdir "$MNT/home"
    # The home holds more than what is shredded, so it stays.
    echo kept >"$MNT/home/keep.txt"
    python3 - "$MNT/home/secret" "$FILES" <<'PY'
import os, sys
top, n = sys.argv[1], int(sys.argv[2])
block = b"y" * 4096
for d in range(30):
    os.makedirs(f"{top}/d{d:02d}", exist_ok=True)
for i in range(n):
    with open(f"{top}/d{i % 30:02d}/kvnm-{i:04d}.txt", "wb") as f:
        f.write(block)
PY
    [ "$2" = user ] && [ "$1" != vfat ] && chown -R "$TESTUSER:" "$MNT/home"
    sync
}

# The image's bytes as the device holds them, not as a stale page cache does.
fresh() { python3 -c 'import os,sys
fd=os.open(sys.argv[1],os.O_RDONLY); os.fsync(fd); os.posix_fadvise(fd,0,0,os.POSIX_FADV_DONTNEED)' "$1"; }

marks() {  # file: "distinct all"
    if [ "$FSKIND" = vfat ]; then
        LC_ALL=C grep -a -o -P 'k\x00v\x00n\x00m\x00-\x00[0-9]\x00[0-9]\x00[0-9]\x00[0-9]\x00' "$1" |
            LC_ALL=C sort | uniq -c | awk '{n++; a+=$1} END {printf "%d %d", n, a}'
    else
        LC_ALL=C grep -a -o -E 'kvnm-[0-9]{4}' "$1" | sort | uniq -c |
            awk '{n++; a+=$1} END {printf "%d %d", n, a}'
    fi
}

journal() {  # the journal's (or log's) bytes, into $WORK/journal
    rm -f "$WORK/journal"
    case "$FSKIND" in
        ext4*) debugfs -R "dump <8> $WORK/journal" "$WORK/image" >/dev/null 2>&1 ;;
        xfs)
            local start blocks bs byte
            start=$(xfs_db -r -c "sb 0" -c "print logstart" "$WORK/image" | awk '{print $3}')
            blocks=$(xfs_db -r -c "sb 0" -c "print logblocks" "$WORK/image" | awk '{print $3}')
            bs=$(xfs_db -r -c "sb 0" -c "print blocksize" "$WORK/image" | awk '{print $3}')
            byte=$(xfs_db -r -c "convert fsb $start byte" "$WORK/image" | awk '{print $1}')
            dd if="$WORK/image" of="$WORK/journal" bs="$bs" skip=$((byte / bs)) count="$blocks" status=none
            ;;
    esac
}

count() {  # old names left in the image: "distinct(all;journal distinct)"
    umount "$MNT"
    while mountpoint -q "$MNT"; do sleep 0.2; done
    [ -z "$LOOP" ] || losetup -d "$LOOP"
    LOOP=""
    fresh "$WORK/image"
    local all j=- d a
    read -r d a < <(marks "$WORK/image")
    journal
    [ -f "$WORK/journal" ] && j=$(marks "$WORK/journal" | awk '{print $1}')
    echo "$d($a;$j)"
}

as() {  # owner command...: runs the command as root or as the test user
    local who=$1
    shift
    if [ "$who" = user ]; then
        setpriv --reuid="$UID_T" --regid="$GID_T" --clear-groups --inh-caps=-all "$@"
    else
        "$@"
    fi
}

kelvane() {  # owner binary
    local cfg="$WORK/cfg"
    rm -rf "$cfg"
    mkdir -p "$cfg/Tessarin/Kelvane"
    printf '<?xml version="1.0" encoding="utf-8"?>\r\n<InitFile>\r\n  <Confirm>0</Confirm>\r\n  <Iterations>3</Iterations>\r\n</InitFile>\r\n' \
        >"$cfg/Tessarin/Kelvane/Kelvane.ini"
    chmod -R go-rwx "$cfg"
    [ "$1" = user ] && chown -R "$TESTUSER:" "$cfg"
    as "$1" env HOME="$cfg" XDG_CONFIG_HOME="$cfg" XDG_DATA_HOME="$cfg/data" "$2" -exec "$MNT/home/secret" \
        >"$WORK/kelvane.out" 2>&1 || true
    [ ! -e "$MNT/home/secret" ] || echo "warning: $MNT/home/secret left" >&2
    grep -i "names\|journal\|not cleared\|not overwritten" "$WORK/kelvane.out" | head -3 | sed 's/^/  said: /' >&2 || true
}

now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$@"; sync; T=$(awk "BEGIN{printf \"%.1f\", $(now)-$t0}"); }
has() { [[ " ${COLS:-rm shred old new} " == *" $1 "* ]]; }

printf '%-10s %-5s %16s %16s %16s %16s %16s\n' fs as planted rm shred "k-before" "k-after"
for fs in ${FS:-ext4 ext4-nodx xfs btrfs vfat}; do
    FSKIND=$fs
    command -v "mkfs.${fs%%-*}" >/dev/null || { echo "$fs: mkfs not found"; continue; }
    for who in ${AS:-root user}; do
        for run in $(seq 1 "$RUNS"); do
            row=()
            times=""
            if [ "$run" = 1 ]; then make_fs "$fs" "$who"; row+=("$(count)"); else row+=("-"); fi
            if has rm; then
                make_fs "$fs" "$who"; as "$who" rm -rf "$MNT/home/secret"; sync; row+=("$(count)")
            else row+=("-"); fi
            if has shred; then
                make_fs "$fs" "$who"
                timed as "$who" find "$MNT/home/secret" -type f -exec shred -n 3 -u {} +
                as "$who" find "$MNT/home/secret" -depth -type d -exec rmdir {} +
                sync; row+=("$(count)"); times+=" shred ${T}s"
            else row+=("-"); fi
            if [ -n "$OLD" ] && has old; then
                make_fs "$fs" "$who"; timed kelvane "$who" "$OLD"; row+=("$(count)"); times+=" before ${T}s"
            else row+=("-"); fi
            if has new; then
                make_fs "$fs" "$who"; timed kelvane "$who" "$NEW"; row+=("$(count)"); times+=" after ${T}s"
            else row+=("-"); fi
            printf '%-10s %-5s %16s %16s %16s %16s %16s  %s\n' "$fs" "$who" "${row[@]}" "$times"
        done
    done
done
