#pragma once
// Whether overwriting a file in place really reaches its old bytes, decided from
// what the system tells about it (platform/StorageFacts). A pure function: the
// run, the summary and the list only show what it says.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/StorageFacts.h"

// Why overwriting cannot be guaranteed to reach the old bytes. The numbers are
// bit positions of the "warnings already seen" setting: never renumber.
enum class VerdictReason : uint8_t {
    kCopyOnWrite = 0,  // copy-on-write or log-structured file system
    kShared = 1,       // extents shared with a snapshot or a reflinked copy
    kCompressed = 2,   // compressed (encoded) extents
    kInline = 3,       // data stored inline in the metadata, or not block aligned
    kDataJournal = 4,  // data goes through the journal first
    kFlash = 5,        // non-rotational device: wear levelling may keep old copies
    kNetwork = 6,      // network or FUSE file system
    kUnknown = 7,      // what lies underneath could not be found out
};
constexpr int kVerdictReasonCount = 8;

struct Verdict {
    std::vector<VerdictReason> reasons;  // empty: overwritten in place
    bool memory = false;                 // the file lives in memory (tmpfs, RAM disk)
    bool encrypted = false;  // a dm-crypt layer lies underneath: old copies are ciphertext
    bool InPlace() const { return reasons.empty(); }
    uint32_t ReasonMask() const;
};

Verdict DecideVerdict(const storage::StorageFacts& facts);

// Where old names of scrambled and removed entries may still be found.
enum class NamesKept : uint8_t {
    kNone,
    // Copies of the folder blocks in the journal or log: xfs and jfs always,
    // ext3/ext4 when the run may not clear the journal.
    kJournal,
    // Earlier versions of the folder metadata stay where they were written.
    kCopyOnWrite,
    // A removed entry is only marked free: its name stays in the folder (FAT, exFAT).
    kFolderEntries,
};
NamesKept DecideNames(const storage::StorageFacts& facts, bool mayClearJournal);

// The language keys of a reason's name and of its advice.
std::string_view ReasonTextKey(VerdictReason reason);
std::string_view ReasonAdviceKey(VerdictReason reason);
