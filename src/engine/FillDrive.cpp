#include "engine/FillDrive.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/FillFile.h"
#include "i18n/SafeFormat.h"
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

// Up to this much is written with one call.
constexpr uint64_t kBatchBytes = 8 * 1024 * 1024;
constexpr size_t kBatchChunks = 1024;

// Counted chunks not yet written: `full` whole blocks, then `tail` bytes, from
// `offset` of the current temporary file.
struct PendingChunks {
    uint64_t offset = 0;
    size_t full = 0;
    size_t tail = 0;
    bool Empty() const { return full == 0 && tail == 0; }
    uint64_t Bytes(size_t blockSize) const { return uint64_t{full} * blockSize + tail; }
};

bool OpenTempFile(FillFile& file, const std::u16string& path, FillRun& run,
                  const FillNotifications& notify) {
    if (!file.Open(Utf8FromWide(path))) return false;
    if (notify.tempFile) notify.tempFile(path);
    run.tempFiles.AppendRow(Utf8FromWide(path));
    return true;
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
    if (!run.block.Ok()) return outcome;

    const std::u16string root = AsRoot(givenRoot);
    const std::u16string tempName = AsPlainName(params.tempName);
    FileOps ops;
    if (!ops.IsFolder(root) || QueryDriveType(root) == DriveType::CdRom) return outcome;
    const DriveSpace space = QueryDriveSpace(root);
    if (!space.ok || !ProbeWritableForRun(root, tempName)) return outcome;

    const uint64_t freeBytes = space.freeToCaller;
    outcome.started = true;
    outcome.freeBytes = freeBytes;
    if (notify.driveStarted) notify.driveStarted(freeBytes);

    FillFile file;
    std::u16string path = FillTempFileName(root, tempName, run.fileCounter);
    if (!OpenTempFile(file, path, run, notify)) return outcome;

    const size_t blockSize = params.EffectiveBlockSize();
    const uint64_t limit = params.EffectiveFileSizeLimit();
    const int iterations = std::clamp(params.iterations, 1, 300);
    run.block.Build(params.random, params.shredValue);
    const uint8_t* data = run.block.Data();

    // Chunks are counted one by one as the loop goes, but written in batches:
    // consecutive chunks hold the same bytes, so one call can write many, and
    // every pass over a batch reaches the device before the next one starts.
    PendingChunks pending;
    uint64_t written = 0;
    uint64_t inFile = 0;
    int err = 0;
    auto flush = [&] {
        for (int pass = 1; pass <= iterations && !pending.Empty(); ++pass) {
            err = file.WriteRepeated(data, blockSize, pending.full, pending.tail, pending.offset,
                                     pass < iterations);
            if (err != 0 || stop.load()) break;
        }
        // A batch that failed is not reported as written.
        if (err != 0) written -= pending.Bytes(blockSize);
        pending = PendingChunks{};
        return err == 0;
    };

    while (freeBytes > 0 && !stop.load()) {
        if (++run.tickCounter > 16) {
            run.tickCounter = 0;
            if (!flush()) break;
            if (notify.progress) notify.progress(written, freeBytes, path);
        }
        const size_t chunk =
            inFile + blockSize > limit ? static_cast<size_t>(limit - inFile) : blockSize;
        if (pending.Empty()) pending.offset = inFile;
        if (chunk == blockSize)
            ++pending.full;
        else
            pending.tail = chunk;
        written += chunk;
        inFile += chunk;
        if (inFile >= limit) {
            if (!flush()) break;
            file.Close();
            ++run.fileCounter;
            inFile = 0;
            path = FillTempFileName(root, tempName, run.fileCounter);
            if (!OpenTempFile(file, path, run, notify)) break;
        } else if (pending.Bytes(blockSize) >= kBatchBytes || pending.full >= kBatchChunks) {
            if (!flush()) break;
        }
        if (written >= freeBytes) break;
    }
    if (err == 0) flush();
    if (err != 0) {
        // A full disk is the natural end of a fill; anything else is a failing
        // device. Either way nothing more can be written here.
        (err == ENOSPC || err == EDQUOT ? outcome.diskFull : outcome.writeFailed) = true;
    }
    file.Close();
    outcome.written = written;

    if (!params.leaveFiles) {
        const int count = run.tempFiles.RowCount();
        for (int i = 0; i < count; ++i) ::unlink(run.tempFiles.GetCell(0, i).c_str());
    }
    return outcome;
}
