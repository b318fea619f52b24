#pragma once
// Where scrambled names are written out for good. On ext4 a folder's blocks that
// are freed before the journal has written them home never get their wiped
// state: the old names stay in the freed blocks, and copies of every folder
// block stay in the journal until it wraps. The kernel can write the journal
// home and clear it (needs administrator rights); elsewhere nothing here acts.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

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

// The ext4 file systems a run scrambled names on, each held by one open folder,
// so that their journals can be cleared when the run ends.
class NameJournals {
  public:
    NameJournals() = default;
    ~NameJournals();
    NameJournals(const NameJournals&) = delete;
    NameJournals& operator=(const NameJournals&) = delete;

    // Notes the file system of `folderPath` (a folder that exists now).
    void Note(const std::u16string& folderPath);
    struct Outcome {
        std::u16string folder;  // the folder it was reached by
        bool cleared = false;
    };
    // Clears each journal noted; one outcome per file system.
    std::vector<Outcome> ClearAll();

  private:
    struct Held {
        uint64_t device;
        int fd;
        std::u16string folder;
    };
    std::unordered_set<std::u16string> seen_;  // asked once each, however many files
    std::vector<Held> held_;
};

}  // namespace fsys
