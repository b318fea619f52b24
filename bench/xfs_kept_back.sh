#!/bin/bash
# What a free-space run of kelvane-cli leaves of deleted data on xfs, and where:
# a 320 MiB xfs image, 600 small marker files and one filling the drive, all
# deleted, one fill; then the raw image is read with O_DIRECT and each 4 KiB
# block holding the marker is named by allocation group and block; and the
# drive's result in the report is printed.
# AS_USER=1 runs the fill as uid 65534.
# Needs root. Usage: [AS_USER=1] bench/xfs_kept_back.sh [BUILD_DIR]
set -eu
BUILD=$(readlink -f "${1:-build}")
WORK=$(mktemp -d /tmp/kelvane-xfskept-XXXXXX)
[ -d "$WORK" ] || exit 1
AS_USER=${AS_USER:-0} exec unshare -m bash -s "$BUILD" "$WORK" <<'INNER'
set -eu
BUILD=$1; WORK=$2
MNT="$WORK/mnt"; mkdir "$MNT" "$WORK/cfg"
LOOP=""
cleanup() { mountpoint -q "$MNT" && umount "$MNT"; [ -n "$LOOP" ] && losetup -d "$LOOP"; rm -rf "$WORK"; }
trap cleanup EXIT
truncate -s 320M "$WORK/image"
mkfs.xfs -q -f -K "$WORK/image"
LOOP=$(losetup -f --show "$WORK/image")
mount "$LOOP" "$MNT"
python3 - "$MNT" <<'PY'
import os, sys
mark = b"KELVANE-KEPT-BACK-" + bytes(c ^ 0x20 for c in b"marker")
# Small files and one that fills the drive: every allocation group holds it.
os.makedirs(sys.argv[1] + "/secret")
for i in range(600):
    size = 40 if i % 2 else 3000
    # In the top folder, whose files go to allocation group 0.
    with open("%s/small%04d" % (sys.argv[1], i), "wb") as f:
        f.write((mark * (size // len(mark) + 1))[:size])
block = mark * (1048576 // len(mark))
try:
    with open(sys.argv[1] + "/secret/big", "wb") as f:
        while True:
            f.write(block); f.flush()
except OSError:
    pass
PY
# Every other small file first: the free space splits into many pieces, and
# the free-space trees take blocks for their lists from it.
sync; rm -f "$MNT"/small*[13579]; sync; rm -rf "$MNT"/small* "$MNT/secret"; sync
python3 - "$LOOP" <<'PY'
import os, sys, mmap
mark = b"KELVANE-KEPT-BACK-" + bytes(c ^ 0x20 for c in b"marker")
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_DIRECT); buf = mmap.mmap(-1, 1 << 20); n = 0
while True:
    k = os.readv(fd, [buf])
    if k <= 0: break
    n += bytes(buf[:k]).count(mark)
print("marker bytes before the fill:", n * len(mark))
PY
# AS_USER=1: the run as an ordinary user (uid 65534), in a folder of its own.
RUN=(); TARGET="$MNT/"
if [ "${AS_USER:-0}" = 1 ]; then
    chmod 755 "$WORK"; chown 65534:65534 "$WORK/cfg"; chmod 1777 "$MNT"; RUN=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
XDG_CONFIG_HOME="$WORK/cfg" "${RUN[@]}" "$BUILD/kelvane-cli" free-space --yes --passes 1 --json "$MNT/" > "$WORK/events" 2>"$WORK/err" || true
grep -h '"result"' "$WORK/events" | tail -3 || true
REPORT=$(find "$WORK/cfg" -name "kelvane-report-*.json" | head -1)
umount "$MNT"
python3 - "$LOOP" "$REPORT" <<'PY'
import os, sys, mmap, json
mark = b"KELVANE-KEPT-BACK-" + bytes(c ^ 0x20 for c in b"marker")
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_DIRECT)
buf = mmap.mmap(-1, 1 << 20)
sb = None; hits = []; off = 0
while True:
    n = os.readv(fd, [buf])
    if n <= 0: break
    data = bytes(buf[:n])
    if sb is None: sb = data[:512]
    for b in range(0, n, 4096):
        k = data[b:b+4096].count(mark)
        if k: hits.append(((off + b) // 4096, k))
    off += n
agblocks = int.from_bytes(sb[84:88], "big")
print("blocks with the marker:", len(hits), " marker bytes:", sum(k for _, k in hits) * len(mark))
for blk, k in hits[:20]: print("  AG %d block %d: %d copies" % (blk // agblocks, blk % agblocks, k))
if sys.argv[2]:
    r = json.load(open(sys.argv[2]))
    for d in r["drives"]: print("report drive:", d["result"], d.get("notReached"), d["error"])
PY
INNER
