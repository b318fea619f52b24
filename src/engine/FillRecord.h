#pragma once
// The record of a free-space run in progress, kept in the storage folder: one
// entry per filler file the run created, with the identity the file had when it
// was made. It is the only proof that a file is ours; a file that merely has a
// filler-like name is never touched.
//
// The record is synced before the first filler file exists, and each entry is
// added right after its file was created (O_EXCL), so a crash can leave a file
// that is not recorded (then it stays, and is somebody's to delete by hand),
// never a record entry for a file we did not make.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct FillerEntry {
    std::string folder;  // the drive's folder, ending with "/"
    uint64_t folderDev = 0, folderIno = 0;
    std::string name;  // the file's name in that folder
    uint64_t dev = 0, ino = 0;
    int64_t birthSec = 0;  // birth time, 0 where the file system keeps none
    uint32_t birthNsec = 0;
    bool marked = false;  // carries the extended attribute kFillerMark
};

// Set on big filler files where the file system keeps user attributes: a
// second proof, beside the identity, that the file is ours.
inline constexpr char kFillerMark[] = "user.kelvane.filler";

// Fills dev, ino and birth time from the open file `fd`; with `mark` it also
// sets kFillerMark. False when the file cannot be described.
bool DescribeNewFiller(int fd, bool mark, FillerEntry& entry);

// Why a record is or is not used.
enum class RecordTrust {
    Missing,     // there is none
    Trusted,     // a regular file of this user, private to them, in our format
    NotOwned,    // another user's file
    NotPrivate,  // others may read or write it
    NotAFile,    // a link, a folder, something else
    OldFormat,   // written by an older version (folders and names only)
    Unreadable,  // open or read failed
};

struct RecordRead {
    RecordTrust trust = RecordTrust::Missing;
    std::vector<FillerEntry> entries;  // only when Trusted
};

RecordRead ReadFillRecord(const std::string& recordPath);

// Replaces the record with `entries` (none: removes it), atomically.
bool RewriteFillRecord(const std::string& recordPath, const std::vector<FillerEntry>& entries);
void ClearFillRecord(const std::string& recordPath);

// The record as a run holds it open.
class FillRecord {
  public:
    FillRecord() = default;
    ~FillRecord() { Close(); }
    FillRecord(const FillRecord&) = delete;
    FillRecord& operator=(const FillRecord&) = delete;

    // Goes on with a trusted record at `path` (what it lists stays), else puts
    // a new one in its place; synced when it returns true.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends an entry; with `sync` it is on the disk when this returns.
    bool Add(const FillerEntry& entry, bool sync);
    bool Sync();
    void Close();

  private:
    int fd_ = -1;
};
