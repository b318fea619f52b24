#pragma once
// Old names on btrfs. It never changes a tree block where it lies: a renamed or
// removed entry leaves the block that held its name behind as free metadata
// space, and only a later tree block written to the same place covers it. So,
// after a run, the free metadata space is used up by items of our own (extended
// attributes of a file without a name, each nearly a tree block; empty files
// under the longest names, in a private folder, where attributes are refused),
// written out and removed again. Data free space is never reached this way, and
// a file system other than btrfs is left alone.
#include <array>
#include <atomic>
#include <cstdint>

namespace fsys {

// The identity of the btrfs the descriptor lies on, the same for all its
// subvolumes (each of which has a device number of its own); false elsewhere.
using BtrfsId = std::array<unsigned char, 16>;
bool BtrfsFsid(int fd, BtrfsId& id);

// The metadata space of the descriptor's btrfs, in bytes; false elsewhere.
bool MetadataSpace(int fd, uint64_t& total, uint64_t& used);

struct MetadataFillOutcome {
    uint64_t entries = 0;  // items made (and removed again)
    bool full = false;     // the file system took no more
    bool done = false;     // free metadata space was used up, or the limit reached
    int error = 0;         // what stopped it otherwise; 0 with `done` or a stop
    uint64_t left = 0;     // files of the private folder that could not be removed
};

// In the folder `folderFd`, which it leaves as it was, fills the metadata
// space until more is in use than there was at the start (a quarter of the free
// space more; or half again the free space, or `limitBytes`, or a full file system, or `stop`),
// syncs it out, and removes it all again. ENOENT or EACCES (and nothing made) when the folder is
// gone or not ours to write in.
MetadataFillOutcome OverwriteFreeMetadata(int folderFd, uint64_t limitBytes,
                                          const std::atomic<bool>& stop);

}  // namespace fsys
