#include "engine/FillDrive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/TextConv.h"
#include "engine/FillFile.h"
#include "engine/FillSmall.h"
#include "i18n/SafeFormat.h"
#include "platform/FillSystem.h"
#include "platform/Volumes.h"

namespace {

// Without a trailing separator "/media/usb" would put the files beside the drive
// instead of on it.
std::u16string AsRoot(std::u16string root) {
    if (!root.empty() && root.back() != u'/' && root.back() != u'\\') root.push_back(u'/');
    return root;
}

// A name with a separator in it would place the files in another folder, or
// with ".." outside the drive.
std::u16string AsPlainName(std::u16string name) {
    std::replace(name.begin(), name.end(), u'/', u'_');
    return name;
}

bool Full(int err) {
    return err == ENOSPC || err == EDQUOT;
}

// Up to this much is written with one call.
constexpr uint64_t kBatchBytes = 8 * 1024 * 1024;
constexpr size_t kBatchChunks = 1024;
// Names already taken by something not ours are stepped over, this many at most.
constexpr int kMaxTakenNames = 100;

// Counted chunks not yet written: `full` whole blocks, then `tail` bytes, from
// `offset` of the current temporary file.
struct PendingChunks {
    uint64_t offset = 0;
    size_t full = 0;
    size_t tail = 0;
    bool Empty() const { return full == 0 && tail == 0; }
    uint64_t Bytes(size_t blockSize) const { return uint64_t{full} * blockSize + tail; }
};

std::u16string Number(uint64_t n) {
    return WideFromUtf8(std::to_string(n));
}

// The big-file phase of one drive.
class BigFill {
  public:
    BigFill(const HeldDrive& drive, const std::u16string& root, const std::u16string& tempName,
            const FillParams& params, int iterations, FillRun& run, const FillNotifications& notify,
            const std::atomic<bool>& stop, uint64_t freeBytes, uint64_t fsBlock, uint64_t bound)
        : drive_(drive),
          root_(root),
          tempName_(tempName),
          run_(run),
          notify_(notify),
          stop_(stop),
          freeBytes_(freeBytes),
          fsBlock_(std::max<uint64_t>(fsBlock, 1)),
          bound_(bound),
          blockSize_(params.EffectiveBlockSize()),
          limit_(params.EffectiveFileSizeLimit()),
          iterations_(std::clamp(iterations, 1, 300)) {}

    void Run();
    // Closes the last file; a sync that fails there fails the fill.
    void Finish();
    bool allowDirect = true;
    uint64_t written = 0;
    bool full = false;
    bool gone = false;  // the drive went away under the fill
    int error = 0;      // a failure other than a full disk

  private:
    int OpenNext(bool allowDirect = true);
    bool Flush();
    int Tail(uint64_t pos, uint64_t firstStep, uint64_t& got);

    const HeldDrive& drive_;
    const std::u16string& root_;
    const std::u16string& tempName_;
    FillRun& run_;
    const FillNotifications& notify_;
    const std::atomic<bool>& stop_;
    const uint64_t freeBytes_, fsBlock_, bound_;
    const size_t blockSize_;
    const uint64_t limit_;
    const int iterations_;
    FillFile file_;
    std::u16string path_;
    PendingChunks pending_;
    uint64_t inFile_ = 0;
};

int BigFill::OpenNext(bool allowDirect) {
    if (!drive_.StillThere()) {
        gone = true;
        return 0;
    }
    for (int taken = 0; taken < kMaxTakenNames; ++taken) {
        const std::u16string name = FillTempFileName(u"", tempName_, run_.fileCounter);
        path_ = root_ + name;
        const std::string utf8 = Utf8FromWide(name);
        const int err = file_.Create(drive_.Fd(), utf8, allowDirect);
        if (err == 0) {
            run_.Created(drive_, utf8, file_.Fd(), true, true);
            if (notify_.tempFile) notify_.tempFile(path_);
            return 0;
        }
        if (err != EEXIST) return err;
        ++run_.fileCounter;
    }
    return EEXIST;
}

// After ENOSPC the rest goes in with halving writes down to the file system's
// block: a large write that does not fit as a whole must not leave the space
// it could have partly filled.
int BigFill::Tail(uint64_t pos, uint64_t firstStep, uint64_t& got) {
    uint64_t step = std::max(fsBlock_, firstStep / fsBlock_ * fsBlock_);
    while (!stop_.load() && pos < limit_) {
        uint64_t done = 0;
        const int err = file_.WriteSpan(run_.block, pos, std::min(step, limit_ - pos), false, done);
        pos += done;
        got += done;
        if (err == 0) continue;
        if (!Full(err)) return err;
        if (step <= fsBlock_) break;
        step = std::max(fsBlock_, step / 2 / fsBlock_ * fsBlock_);
    }
    return 0;
}

bool BigFill::Flush() {
    const uint64_t length = pending_.Bytes(blockSize_);
    if (length == 0) return true;
    const uint64_t offset = pending_.offset;
    pending_ = PendingChunks{};
    uint64_t got = 0;
    int err = file_.WriteSpan(run_.block, offset, length, iterations_ > 1, got);
    if (Full(err)) {
        full = true;
        err = Tail(offset + got, (length - got) / 2, got);
    }
    // The other passes rewrite what the first one placed; they need no new space.
    for (int pass = 2; pass <= iterations_ && got > 0 && err == 0 && !stop_.load(); ++pass) {
        uint64_t again = 0;
        err = file_.WriteSpan(run_.block, offset, got, pass < iterations_, again);
    }
    // Only what reached the file counts.
    written = written - length + got;
    inFile_ = offset + got;
    if (err != 0) error = err;
    if (err == 0 && !drive_.StillThere()) gone = true;
    return err == 0 && !full && !gone;
}

void BigFill::Finish() {
    const int err = file_.Close();
    if (err != 0 && error == 0) error = err;
}

void BigFill::Run() {
    error = OpenNext(allowDirect);
    if (Full(error)) {
        full = true;
        error = 0;
    }
    if (error != 0 || full || gone) return;
    while (!stop_.load()) {
        if (++run_.tickCounter > 16) {
            run_.tickCounter = 0;
            if (!Flush()) return;
            if (notify_.progress) notify_.progress(written, freeBytes_, path_);
        }
        const size_t chunk =
            inFile_ + blockSize_ > limit_ ? static_cast<size_t>(limit_ - inFile_) : blockSize_;
        if (pending_.Empty()) pending_.offset = inFile_;
        if (chunk == blockSize_)
            ++pending_.full;
        else
            pending_.tail = chunk;
        written += chunk;
        inFile_ += chunk;
        if (inFile_ >= limit_) {
            if (!Flush()) return;
            if ((error = file_.Close()) != 0) return;
            ++run_.fileCounter;
            inFile_ = 0;
            error = OpenNext(allowDirect);
            if (Full(error)) {
                full = true;
                error = 0;
            }
            if (error != 0 || full || gone) return;
        } else if (pending_.Bytes(blockSize_) >= kBatchBytes || pending_.full >= kBatchChunks) {
            if (!Flush()) return;
        }
        // Compressing or deduplicating file systems may take far more than their
        // size; past this bound more writing overwrites nothing new.
        if (written >= bound_) return;
    }
    Flush();
}

// The filler file handed to the reserve filler.
class ReserveFile {
  public:
    void Create(const HeldDrive& drive, const std::u16string& tempName, FillRun& run,
                std::string& why) {
        for (int taken = 0; taken < kMaxTakenNames; ++taken) {
            const std::string name = Utf8FromWide(FillTempFileName(u"", tempName, run.fileCounter));
            const int err = file_.Create(drive.Fd(), name, false);
            if (err == 0) {
                run.Created(drive, name, file_.Fd(), true, true);
                ++run.fileCounter;
                return;
            }
            if (err != EEXIST) {
                why = std::string("no file for it: ") + std::strerror(err);
                return;
            }
            ++run.fileCounter;
        }
        why = "no free name for its file";
    }
    bool IsOpen() const { return file_.IsOpen(); }

    // A block of one byte value is asked as that value; random data and
    // patterns as random data (the helper takes no pattern file).
    ReserveFillAnswer Fill(ReserveFiller& filler, const HeldDrive& drive, const FillBlock& block,
                           bool random, int iterations, const std::atomic<bool>& stop) {
        const uint8_t* data = block.Data();
        const bool uniform = !random && data &&
                             std::all_of(data, data + block.Held(),
                                         [first = data[0]](uint8_t b) { return b == first; });
        return filler.Fill(drive.Fd(), file_.Fd(), iterations, !uniform,
                           uniform ? data[0] : uint8_t{0}, stop);
    }
    int Close() { return file_.Close(); }

  private:
    FillFile file_;
};

FillOutcome Fail(FillOutcome outcome, FillFailure failure, int error = 0) {
    outcome.failure = failure;
    outcome.error = error;
    return outcome;
}

// Whether a file can be made at the root: a new file of our own (never one
// already there) is created and deleted again. 0 or the errno.
int ProbeCreate(int dirFd, const std::string& name) {
    int err = EEXIST;
    for (int attempt = 0; attempt < 8 && err == EEXIST; ++attempt) {
        const std::string probe = name + ".probe" + std::to_string(attempt);
        int fd = ::openat(dirFd, probe.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            err = errno;
            continue;
        }
        ::close(fd);
        ::unlinkat(dirFd, probe.c_str(), 0);
        return 0;
    }
    return err;
}

FillFailure OpenFailure(int err) {
    return err == ENOENT    ? FillFailure::NotFound
           : err == ENOTDIR ? FillFailure::NotAFolder
                            : FillFailure::CannotOpen;
}

}  // namespace

std::u16string FillTempFileName(const std::u16string& root, const std::u16string& tempName,
                                uint32_t counter) {
    return SafeFormat(std::u16string_view(u"%s%s%04u"), {root, tempName, counter});
}

FillOutcome FillDrive(const std::u16string& givenRoot, const FillParams& params, FillRun& run,
                      const FillNotifications& notify, const std::atomic<bool>& stop) {
    FillOutcome outcome;
    run.tempFiles.SetSize(1, 0);
    auto note = [&notify](const std::u16string& line) {
        if (notify.note) notify.note(line);
    };
    if (!run.block.Ok()) return Fail(outcome, FillFailure::NoMemory);

    const std::u16string root = AsRoot(givenRoot);
    const std::u16string tempName = AsPlainName(params.tempName);
    const std::string rootPath = Utf8FromWide(root);
    HeldDrive drive;
    if (const int err = drive.Open(rootPath); err != 0) return Fail(outcome, OpenFailure(err), err);
    if (params.device != 0 && drive.Dev() != params.device)
        return Fail(outcome, FillFailure::DriveGone);
    if (QueryDriveType(root) == DriveType::CdRom) return Fail(outcome, FillFailure::ReadOnly);

    struct statvfs vfs {};
    if (::fstatvfs(drive.Fd(), &vfs) != 0) return Fail(outcome, FillFailure::NoSpaceInfo, errno);
    if (vfs.f_flag & ST_RDONLY) return Fail(outcome, FillFailure::ReadOnly);
    const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    const uint64_t fsBlock = vfs.f_bsize ? vfs.f_bsize : unit;
    if (const int err = ProbeCreate(drive.Fd(), Utf8FromWide(tempName)); err != 0)
        return Fail(outcome, err == EROFS ? FillFailure::ReadOnly : FillFailure::CannotCreate, err);

    const FsKind kind = FillSystem().kind ? FillSystem().kind(drive.Fd()) : FsKind::Other;
    const bool reserve = FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve();
    const uint64_t freeBytes = (reserve ? vfs.f_bfree : vfs.f_bavail) * unit;
    outcome.started = true;
    outcome.freeBytes = freeBytes;
    if (notify.driveStarted) notify.driveStarted(freeBytes);
    // Only ext2/3/4 keep blocks back for root; elsewhere (btrfs) free and
    // available differ for other reasons, and nothing is out of reach.
    // What ext4 keeps for its own metadata is a fixed count, known now; the
    // difference between free and available holds it besides root's reserve.
    if (kind == FsKind::Ext4 && FillSystem().keptBack)
        outcome.keptBack = FillSystem().keptBack(drive.Fd(), kind);
    if (!reserve && kind == FsKind::Ext4 &&
        (vfs.f_bfree - std::min(vfs.f_bfree, vfs.f_bavail)) * unit > outcome.keptBack.bytes) {
        outcome.reserveNotReached = (vfs.f_bfree - vfs.f_bavail) * unit - outcome.keptBack.bytes;
        // With the helper asked, its own line says whether it reached them.
        if (!params.reserveFiller)
            note(SafeFormat(
                std::u16string_view(u"%s [%s bytes kept back for root are out of reach]"),
                {root, Number(outcome.reserveNotReached)}));
    }
    if (!params.recordFile.empty() && !params.leaveFiles && !run.record.IsOpen() &&
        !run.record.Open(params.recordFile))
        note(SafeFormat(std::u16string_view(u"%s [No record of the run could be kept: files of "
                                            u"an interrupted run would stay]"),
                        {WideFromUtf8(params.recordFile)}));
    // The reserve's filler is made first, while there is room for its name;
    // it stays empty until the others have taken what this process may take.
    ReserveFile reserveFile;
    if (outcome.reserveNotReached > 0 && params.reserveFiller)
        reserveFile.Create(drive, tempName, run, outcome.reserveWhy);

    int iterations = std::clamp(params.iterations, 1, 300);
    if (iterations > 1 && IsCopyOnWrite(kind)) {
        // Every pass after the first would need new free blocks, and the first
        // took them all: one pass reaches everything there is to reach.
        iterations = 1;
        outcome.onePass = true;
        note(SafeFormat(std::u16string_view(u"%s [1 pass: copy-on-write file system]"), {root}));
    }

    run.block.Build(params.random, params.shredValue);
    BigFill big(drive, root, tempName, params, iterations, run, notify, stop, freeBytes, fsBlock,
                2 * vfs.f_blocks * unit + 64 * 1024 * 1024);
    // On xfs, direct writes left deleted data in place (bench/marker_copies.sh:
    // several MiB of a marker on a full 300 MiB drive, none with cached writes).
    big.allowDirect = kind != FsKind::Xfs;
    big.Run();
    big.Finish();
    outcome.written = big.written;
    outcome.diskFull = big.full;

    if (big.full && big.error == 0 && !big.gone && !stop.load()) {
        // Blocks the big files could not take (the last ones of a drive with
        // small blocks, those a bigger file would need metadata for) go to
        // small files.
        struct statvfs after {};
        const bool left =
            ::fstatvfs(drive.Fd(), &after) == 0 && (reserve ? after.f_bfree : after.f_bavail) > 0;
        if (params.smallObjects == FillParams::Small::On ||
            (params.smallObjects == FillParams::Small::Auto && left)) {
            const SmallFillOutcome s = FillSmallObjects(drive, root, tempName, run, fsBlock, stop);
            outcome.smallFiles = s.files;
            outcome.smallBytes = s.bytes;
            outcome.longNames = s.longNames;
            outcome.written += s.bytes;
            if (s.error != 0) big.error = s.error;
            note(SafeFormat(std::u16string_view(u"%s [Small files: %u written with %s bytes, %u "
                                                u"empty files with long names]"),
                            {root, s.files, Number(s.bytes), s.longNames}));
        }
        // Asked while the fillers still hold the drive: what is free now is
        // what the fill could not take.
        if (kind != FsKind::Ext4 && FillSystem().keptBack)
            outcome.keptBack = FillSystem().keptBack(drive.Fd(), kind);
        struct statvfs full {};
        if (kind != FsKind::Btrfs && ::fstatvfs(drive.Fd(), &full) == 0) {
            const uint64_t unitNow = full.f_frsize ? full.f_frsize : full.f_bsize;
            outcome.leftUnwritten = (reserve ? full.f_bfree : full.f_bavail) * unitNow;
            // ext4 counts its reserved clusters as free for root (and as kept
            // back for root otherwise): each byte is named once.
            if (kind == FsKind::Ext4 && reserve)
                outcome.leftUnwritten -= std::min(outcome.leftUnwritten, outcome.keptBack.bytes);
        }
        if (outcome.leftUnwritten > 0)
            note(SafeFormat(std::u16string_view(u"%s [%s bytes still free could not be written]"),
                            {root, Number(outcome.leftUnwritten)}));
        if (outcome.keptBack.bytes > 0)
            note(SafeFormat(
                std::u16string_view(u"%s [%s bytes the file system keeps for itself (%s) were not "
                                    u"written]"),
                {root, Number(outcome.keptBack.bytes), WideFromUtf8(outcome.keptBack.what)}));
    }
    if (!big.gone && !drive.StillThere()) big.gone = true;
    if (reserveFile.IsOpen()) {
        if (big.full && big.error == 0 && !big.gone && !stop.load()) {
            const ReserveFillAnswer a = reserveFile.Fill(*params.reserveFiller, drive, run.block,
                                                         params.random, iterations, stop);
            outcome.reserveWhy = a.why;
            if (a.reached) {
                outcome.reserveWritten = a.bytes;
                outcome.written += a.bytes;
                outcome.reserveNotReached = 0;
                note(SafeFormat(
                    std::u16string_view(u"%s [%s bytes kept back for root overwritten too]"),
                    {root, Number(a.bytes)}));
            }
        } else {
            outcome.reserveWhy = "the fill did not get that far";
        }
        if (const int err = reserveFile.Close(); err != 0 && big.error == 0) big.error = err;
    }
    if (outcome.reserveNotReached > 0)
        note(SafeFormat(std::u16string_view(u"%s [%s bytes kept back for root are out of reach%s]"),
                        {root, Number(outcome.reserveNotReached),
                         outcome.reserveWhy.empty() ? std::u16string()
                                                    : u": " + WideFromUtf8(outcome.reserveWhy)}));

    if (!params.leaveFiles) {
        // Through the held folder: on a drive that went away the files are
        // still ours to delete there, and a name in the folder now at the path
        // is not. A file that vanished is named, not passed over.
        const int count = run.tempFiles.RowCount();
        for (int i = 0; i < count; ++i) {
            const std::string& name = run.tempFiles.GetCell(0, i);
            if (::unlinkat(drive.Fd(), name.c_str(), 0) == 0) continue;
            const int err = errno;
            ++outcome.filesLeft;
            note(SafeFormat(std::u16string_view(u"%s%s [FAILED! to delete temporary file: %s]"),
                            {root, WideFromUtf8(name), WideFromUtf8(std::strerror(err))}));
        }
        if (params.trim && FillSystem().trim && !big.gone) {
            int err = FillSystem().trim(drive.Fd());
            // A user may not trim; the helper that filled the reserve may,
            // and what is left free (ext4 keeps some blocks even from root)
            // is then erased where the device erases what is trimmed.
            if (err == EPERM && outcome.reserveWritten > 0)
                err = params.reserveFiller->Trim(drive.Fd());
            outcome.trimmed = err == 0;
            note(SafeFormat(std::u16string_view(u"%s [TRIM %s]"),
                            {root, err == 0 ? std::u16string(u"done")
                                            : u"not done: " + WideFromUtf8(std::strerror(err))}));
        }
    }

    outcome.writeFailed = big.error != 0;
    if (big.gone) return Fail(outcome, FillFailure::DriveGone);
    if (stop.load()) return Fail(outcome, FillFailure::Stopped);
    if (big.error != 0) return Fail(outcome, FillFailure::WriteError, big.error);
    if (outcome.written == 0) return Fail(outcome, FillFailure::NothingWritten, ENOSPC);
    return outcome;
}
