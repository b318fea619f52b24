#pragma once
// Overwriting the free space of a drive: temporary files at its root are written
// block by block until the file system is full, the last free blocks are taken
// by ever smaller writes and small files, then all are deleted again and the
// freed blocks trimmed.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/FillBlock.h"
#include "engine/FillRecord.h"
#include "engine/HeldDrive.h"
#include "engine/ReserveFiller.h"
#include "filelist/StringTable.h"
#include "platform/FillSystem.h"

struct FillParams {
    uint32_t blockSize = 524288;          // bytes per write; 0 stands for the default
    uint32_t fileSizeLimit = 1073741824;  // bytes per temporary file; 0 for the default
    std::u16string tempName = u"Morvik.$$$temp$$$";
    bool leaveFiles = false;
    bool random = true;
    std::u16string shredValue = u"0";  // fixed byte value or pattern file (not random)
    int iterations = 3;                // passes over each block, 1 to 300
    // The run-in-progress record (FillerRecovery.h); empty: none is kept.
    std::string recordFile;
    bool trim = true;  // FITRIM once the files are deleted
    // Not 0: the drive must be this file system (st_dev of its root); another one
    // mounted there now, or the folder left under a gone mount, is not filled.
    uint64_t device = 0;
    // The small-object phase after the big files: Auto does it on the file
    // systems where it reaches blocks the big files leave.
    enum class Small { Auto, Off, On } smallObjects = Small::Auto;
    // Not null: where the file system keeps blocks back for root and this
    // process cannot take them, a filler file is handed to it to fill them.
    ReserveFiller* reserveFiller = nullptr;

    static constexpr uint32_t kDefaultBlockSize = 524288;
    static constexpr uint32_t kDefaultFileSizeLimit = 1073741824;
    // A size of 0 would make the fill count nothing and never end, so it means
    // the default.
    uint32_t EffectiveBlockSize() const { return blockSize ? blockSize : kDefaultBlockSize; }
    uint64_t EffectiveFileSizeLimit() const {
        return fileSizeLimit ? fileSizeLimit : kDefaultFileSizeLimit;
    }
};

struct FillNotifications {
    // Once per drive that passed its tests, with the free bytes F it will fill.
    std::function<void(uint64_t freeBytes)> driveStarted;
    // After each temporary file of the big-file phase has been opened.
    std::function<void(const std::u16string& path)> tempFile;
    // Before the first block of a run and then before every 17th block.
    std::function<void(uint64_t written, uint64_t freeBytes, const std::u16string& path)> progress;
    // A line for the log: leftovers deleted, what the small-object phase and
    // TRIM did.
    std::function<void(const std::u16string& line)> note;
};

// What lives for a whole run over several drives.
class FillRun {
  public:
    explicit FillRun(const FillParams& params) : block(params.EffectiveBlockSize()) {}

    // A filler file was just created as `name` in the drive, open as `fd`: it
    // joins the files to delete and, with its identity, the run's record
    // (synced at once with `syncRecord`). `mark` sets the filler attribute.
    void Created(const HeldDrive& drive, const std::string& name, int fd, bool mark,
                 bool syncRecord);

    FillBlock block;
    uint32_t fileCounter = 0;  // numbers the temporary files across drives
    int tickCounter = 16;      // so that the run's first block is preceded by progress
    StringTable tempFiles;     // the names of the current drive's temporary files
    FillRecord record;         // open while the run keeps one
};

enum class FillFailure {
    None,
    NoMemory,        // the fill block could not be had
    NotFound,        // no such folder
    NotAFolder,      // something else than a folder
    CannotOpen,      // the folder cannot be opened (error)
    ReadOnly,        // read-only mount or medium
    NoSpaceInfo,     // statvfs failed
    CannotCreate,    // no file can be created there (error: errno)
    WriteError,      // a write or a create failed other than by a full disk (error)
    NothingWritten,  // the drive was full from the start
    Stopped,         // the stop flag ended the fill
    DriveGone,       // the root's path no longer leads to the drive being filled
};

struct FillOutcome {
    bool started = false;      // the drive passed its tests
    bool diskFull = false;     // the fill ran until the file system said it was full
    bool writeFailed = false;  // a write failed for another reason
    FillFailure failure = FillFailure::None;
    int error = 0;            // errno for CannotCreate and WriteError
    uint64_t freeBytes = 0;   // F
    uint64_t written = 0;     // bytes of the big files and the small files
    uint32_t smallFiles = 0;  // files of the small-object phase
    uint64_t smallBytes = 0;
    uint32_t longNames = 0;  // empty long-named files over freed folder entries
    bool trimmed = false;
    uint32_t filesLeft = 0;  // temporary files that could not be deleted
    bool onePass = false;    // a copy-on-write drive got one pass of several asked
    // Blocks the file system keeps back for root that this process could not
    // write (bytes; only where the file system keeps such a reserve).
    uint64_t reserveNotReached = 0;
    // Free space the file system keeps for itself (xfs free lists, btrfs space
    // in no chunk), known once the drive was full: not written.
    KeptBack keptBack;
    // Bytes still free when the fill could take no more (small files
    // included): blocks it knew of and did not write.
    uint64_t leftUnwritten = 0;
    // Whether any free block the run could know of was left unwritten.
    bool AllReached() const {
        return reserveNotReached == 0 && keptBack.bytes == 0 && leftUnwritten == 0;
    }
    // Bytes of the reserve written through the reserve filler (then
    // reserveNotReached is 0), or why it was not had when it was asked.
    uint64_t reserveWritten = 0;
    std::string reserveWhy;
    bool Ok() const { return failure == FillFailure::None; }
};

// The temporary file name: root, name and number "%04d" (root may be empty).
std::u16string FillTempFileName(const std::u16string& root, const std::u16string& tempName,
                                uint32_t counter);

// Fills one drive. The caller reads `stop` afterwards to decide whether to go on.
FillOutcome FillDrive(const std::u16string& root, const FillParams& params, FillRun& run,
                      const FillNotifications& notify, const std::atomic<bool>& stop);
