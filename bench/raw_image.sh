# Sourced by the bench scripts that count what an image or a device holds: every
# such count reads the device's bytes, never what the page cache remembers of
# them (a loop device may write its image past the cache, so pages read before a
# run can stay in the cache after the run overwrote their blocks).
#
#   raw_bytes FILE     the bytes of FILE (an image or a block device), read past the cache
#   drop_cached FILE   writes out and drops FILE's cached pages, for a program that
#                      reads FILE itself afterwards (debugfs, xfs_db)

drop_cached() {
    sync -- "$1" 2>/dev/null || sync
    # dd's "nocache" with no data: drop the whole file's pages (POSIX_FADV_DONTNEED).
    dd if="$1" iflag=nocache count=0 status=none
}

raw_bytes() {
    drop_cached "$1"
    # O_DIRECT where the file system takes it; else the dropped cache must do.
    if dd if="$1" of=/dev/null iflag=direct bs=1M count=1 status=none 2>/dev/null; then
        dd if="$1" iflag=direct bs=1M status=none
    else
        dd if="$1" bs=1M status=none
    fi
}
