#pragma once
// Where scrambled names are written out for good. On ext4 a folder's blocks that
// are freed before the journal has written them home never get their wiped
// state: the old names stay in the freed blocks, and copies of every folder
// block stay in the journal until it wraps. The kernel can write the journal
// home and clear it (needs administrator rights); without them, and on xfs,
// the journal or log is written over (platform/JournalPush.h). On btrfs the
// free metadata space is overwritten instead (platform/MetadataFill.h);
// elsewhere nothing here acts.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/MetadataFill.h"

namespace fsys {

// True when the descriptor lies on ext2/3/4 (all handled by the ext4 driver).
bool OnExtFileSystem(int fd);

// Writes everything the journal of the descriptor's ext4 file system holds to
// its home place; with `clear`, the journal's blocks are then overwritten with
// zeros. False (errno set) without the rights, on an older kernel, or elsewhere.
bool CheckpointJournal(int fd, bool clear);

// Administrator rights to checkpoint a journal are likely (the effective user
// is root); a run without them says that old names stay in the journal.
bool MayCheckpointJournals();

// The ext4, xfs and btrfs file systems a run scrambled names on, each held by
// one open folder, so that their journals can be cleared or written over (ext4,
// xfs) or their free metadata space overwritten (btrfs) when the run ends.
class NameJournals {
  public:
    NameJournals() = default;
    ~NameJournals();
    NameJournals(const NameJournals&) = delete;
    NameJournals& operator=(const NameJournals&) = delete;

    // True until a folder of a file on `device` (st_dev) was noted: only then
    // is the folder worth reaching. 0 (unknown) always is.
    bool Wants(uint64_t device) const { return device == 0 || seen_.count(device) == 0; }
    // Notes the file system of the open folder `folderFd` (named `folderPath`)
    // that holds a file on `device`, keeping a descriptor of its own. On btrfs
    // the folders above it on the same file system are held too, for when the
    // folder is gone by the end of the run.
    void Note(uint64_t device, int folderFd, const std::u16string& folderPath);
    struct Outcome {
        std::u16string folder;  // the folder it was reached by
        bool cleared = false;
        bool metadata = false;  // btrfs: its free metadata space, not a journal
    };
    // Clears each journal noted and overwrites the free metadata space of each
    // btrfs (at most `metadataLimit` bytes of it), unless `stop` is set; one
    // outcome per file system.
    std::vector<Outcome> ClearAll(const std::atomic<bool>& stop,
                                  uint64_t metadataLimit = kMetadataLimit);
    bool HoldsBtrfs() const {
        return std::any_of(held_.begin(), held_.end(), [](const Held& h) { return h.btrfs; });
    }
    // A run of files overwrites at most this much metadata space per btrfs.
    static constexpr uint64_t kMetadataLimit = uint64_t{1} << 30;
    // ... and writes over at most this much of a journal or log.
    static constexpr uint64_t kJournalLimit = uint64_t{2} << 30;

  private:
    static constexpr size_t kMaxAbove = 64;
    struct Held {
        uint64_t device;
        int fd;
        std::vector<int> above;  // btrfs: the folders above, nearest first
        std::u16string folder;
        bool btrfs;
        BtrfsId id;
        bool push = false;  // its journal or log is written over, not cleared
    };
    bool PushAbove(const Held& h, const std::atomic<bool>& stop);
    std::unordered_set<uint64_t> seen_;  // devices noted, however many files
    std::vector<Held> held_;
};

}  // namespace fsys
