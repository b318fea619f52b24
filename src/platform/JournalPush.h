#pragma once
// Old names in a journal or log, without administrator rights. ext4 and xfs
// write every changed folder block (xfs: its changed parts) to a journal or log
// that is used round and round: the copies stay there until newer writes come
// over them. A user who may not clear the journal can still make those newer
// writes: folders of our own, each one new folder block, as many as the journal
// holds, written out and removed again. The journal's size is told without
// rights by /proc/fs/jbd2 (ext4) and XFS_IOC_FSGEOMETRY (xfs).
#include <atomic>
#include <cstdint>
#include <string>

namespace fsys {

// The bytes of the journal (ext4) or internal log (xfs) of the descriptor's
// file system and its block size; false when it has none or it cannot be told.
// `procRoot` stands for "/proc" and `sysRoot` for "/sys" (tests hand in others).
bool JournalSize(int fd, uint64_t& bytes, uint64_t& blockSize,
                 const std::string& procRoot = "/proc", const std::string& sysRoot = "/sys");

struct JournalPushOutcome {
    uint64_t folders = 0;  // folders made (and removed again)
    bool done = false;     // every folder was made, or the file system is full
    int error = 0;         // what stopped it otherwise; 0 with `done` or a stop
    uint64_t left = 0;     // folders of ours that could not be removed
};

// The folders PushJournal makes to write `bytes` of journal or log anew on the
// descriptor's file system: ext4 writes a new folder block for each, xfs only
// the changed parts of an inode and a folder block.
uint64_t FoldersToPush(int fd, uint64_t bytes, uint64_t blockSize);

// In a private folder (0700, random name) made in `folderFd`, makes `folders`
// folders in rounds, each round written out before it is removed (a block made
// and freed in one transaction never reaches the journal), or fewer when the
// file system is full or on `stop`. Everything it made is removed again; the
// private folder only while it is still the one it made. ENOENT or EACCES (and
// nothing made) when `folderFd` is gone or not ours to write in.
JournalPushOutcome PushJournal(int folderFd, uint64_t folders, const std::atomic<bool>& stop);

// xfs: the same with extended attributes of a file without a name made in
// `folderFd`, each filling a block of `blockSize` that the log takes whole:
// far fewer calls than folders, and nothing ever shows in the folder. Enough of
// them for `bytes` of log, written out before the file goes. EOPNOTSUPP (and
// nothing made) where attributes are refused: then folders do it.
JournalPushOutcome PushLogWithAttributes(int folderFd, uint64_t bytes, uint64_t blockSize,
                                         const std::atomic<bool>& stop);

}  // namespace fsys
