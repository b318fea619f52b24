// FileOps::ShredFile: the passes over one file and the steps that follow them.
#include <algorithm>
#include <cerrno>

#include "engine/FileOps.h"
#include "engine/RepeatedBlock.h"
#include "engine/ShredBlock.h"
#include "engine/ShredCheck.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"

namespace {

constexpr uint32_t kDefaultBlockSize = 102400;

bool SameFile(const fsys::Attributes& a, const fsys::Attributes& b) {
    return a.device == b.device && a.inode == b.inode;
}

// Opens the file we measured, and only that one: a file swapped in under the
// same name between two steps is not ours to write. `opened` gets the open
// file's own attributes (its 64-bit length among them).
bool OpenSame(fsys::File& file, const fsys::Place& place, fsys::File::Mode mode,
              const fsys::Attributes& measured, fsys::Attributes& opened) {
    if (!file.OpenAt(place.folder->Fd(), place.name, mode, &opened)) return false;
    if (SameFile(opened, measured)) return true;
    file.Close();
    errno = 0;  // no system error: another file took the name
    return false;
}

// A write-open refused for want of rights (or of a writable file system), where
// a read-open may still succeed.
bool RefusedForWriting(int err) {
    return err == EACCES || err == EPERM || err == EROFS || err == ETXTBSY;
}

// One pass: the old bytes are overwritten where they lie (no truncation, which
// could hand the data new blocks and leave the old ones untouched), then forced
// to the device before the next pass may overwrite them in the page cache. An
// empty file has no byte to overwrite and nothing to force.
bool OverwritePass(fsys::File& file, const fsys::Attributes& attr, const ShredBlock& block,
                   ShredCheck* check, const std::function<void(int64_t)>& written,
                   const std::function<bool(int, uint64_t)>& syncPass,
                   const std::atomic<bool>* stop) {
    const int64_t size = attr.size;
    // A stop leaves the pass unsynced: its syncing could take longer than the
    // user is willing to wait, and the passes before it are on the device.
    if (!WriteRepeatedBlock(file, block.Data(), block.BlockSize(), size, written, stop))
        return false;
    if (size > 0 && !(syncPass ? syncPass(file.Descriptor(), attr.device) : file.Sync()))
        return false;
    if (check && !check->After(file.Descriptor(), block, size)) {
        errno = 0;  // the check says why
        return false;
    }
    return true;
}

// Appends (r mod 99 + 1) * 1024 bytes after `size`. Past the end of a small
// block buffer the bytes start again from its beginning, just as the blocks of a
// pass do.
bool Grow(fsys::File& file, int64_t size, const ShredBlock& block) {
    uint64_t remaining = static_cast<uint64_t>(ThreadRandom() % 99 + 1) * 1024u;
    int64_t at = size;
    while (remaining > 0) {
        const auto count = static_cast<size_t>(std::min<uint64_t>(block.BlockSize(), remaining));
        if (!file.WriteAt(block.Data(), count, at)) return false;
        remaining -= count;
        at += static_cast<int64_t>(count);
    }
    return true;
}

}  // namespace

bool FileOps::ShredFile(int32_t passes, ShredFileOptions options) {
    const uint32_t blockSize = options.blockSize == 0 ? kDefaultBlockSize : options.blockSize;
    lastShred_ = ShredReport{options.path};
    // Keeps the system's word on the step that failed, for the log and the list.
    const auto failed = [this] {
        lastShred_.error = errno;
        return false;
    };
    // The folder holding the file, reached without following a link below the
    // confining root; every step below works relative to it.
    fsys::Place place;
    fsys::Attributes attr;
    bool looked = false;
    const fsys::LocateResult found = LocateAndLook(options.path, place, attr, looked);
    if (found != fsys::LocateResult::kFound) {
        lastShred_.folderChanged = found == fsys::LocateResult::kRefused;
        return found == fsys::LocateResult::kMissing || failed();
    }
    const int lookError = errno;
    // Looked at again here, not only when the entry was listed: what is mounted
    // where may have changed since. The folder's file system first (asked once
    // per folder); whether the entry is a system place only where it is a folder.
    lastShred_.refused = fsys::GuardText(Places().JudgeNonFolder(place));
    if (!lastShred_.refused.empty()) return false;
    if (!looked) {
        // Gone is done; a path we may not even look at is a failure, not success.
        errno = lookError;
        return attr.kind == fsys::Kind::kMissing || failed();
    }
    if (attr.kind == fsys::Kind::kFolder) {
        lastShred_.refused = fsys::GuardText(Places().JudgeEntry(place));
        if (!lastShred_.refused.empty()) return false;
    }
    if (options.seen) options.seen(-1, attr);
    if (attr.deviceNode && !options.deviceChosen) {
        lastShred_.refused = u"a device node not chosen on its own, left alone";
        return false;
    }
    if (attr.kind == fsys::Kind::kFolder) {
        lastShred_.wasFolder = true;
        return true;
    }
    const bool randomMode = options.shredValue.empty();

    if (attr.kind == fsys::Kind::kFile) {
        // One descriptor for everything: the look the report and the check take,
        // every pass, the read-back and the change of size.
        fsys::File file;
        const fsys::Attributes listed = attr;
        bool writable = OpenSame(file, place, fsys::File::Mode::kReadWrite, listed, attr);
        if (!writable) {
            // Not ours to write: looked at all the same, and then refused below
            // with the system's own word, as the first pass's open gets it.
            if (!RefusedForWriting(errno) ||
                !OpenSame(file, place, fsys::File::Mode::kRead, listed, attr))
                return failed();
        }
        if (passes < 1) return false;
        if (options.check) options.check->Before(file.Descriptor());
        if (options.seen) options.seen(file.Descriptor(), attr);
        if (!writable) {
            // Writable after all (its rights changed meanwhile): the passes go on
            // through a write-only descriptor to the same file.
            fsys::Attributes opened;
            file.Close();
            if (!OpenSame(file, place, fsys::File::Mode::kWrite, attr, opened)) return failed();
        }
        // Overwriting destroys the data under the file's other names too.
        lastShred_.otherNames = attr.links > 1 ? attr.links - 1 : 0;
        // Taken from the open file: the drive whose free space may hold its earlier copies.
        lastShred_.device = attr.device;

        ShredBlock block;
        SeedThreadRandom(static_cast<uint32_t>(Platform().now()));
        const bool mayGrow = options.modifySize && !options.sizeToZero;
        if (!block.Fill(options.shredValue, blockSize, attr.size, mayGrow)) return failed();
        const int64_t size = attr.size;
        const int64_t all = size * passes;
        // Stopped: the file stays as it is, under its own name, for a later run.
        const auto stopped = [&](int32_t pass) {
            lastShred_.interrupted = true;
            lastShred_.passesDone = pass;
            return false;
        };
        for (int32_t pass = 0; pass < passes; ++pass) {
            if (options.stop && options.stop->load()) return stopped(pass);
            ShredCheck* check = pass + 1 == passes ? options.check : nullptr;
            std::function<void(int64_t)> written;
            if (options.progress)
                written = [&](int64_t bytes) { options.progress(size * pass + bytes, all); };
            if (!OverwritePass(file, attr, block, check, written, options.syncPass, options.stop)) {
                if (errno == ECANCELED && options.stop && options.stop->load())
                    return stopped(pass);
                return failed();
            }
        }
        if (options.modifySize) {
            const bool ok = options.sizeToZero ? file.Truncate(0) : Grow(file, size, block);
            if (!ok) return failed();
        }
        if (!file.Close()) return failed();
    } else if (passes < 1) {
        return false;
    }
    // A link or special file got no passes: its data, if any, is somebody else's.
    // It is renamed and removed as an entry of its own.
    if (options.shredNames) {
        const bool renamed = ShredNameAt(place, lastShred_.path, randomMode, passes);
        if (!renamed) return failed();
        if (options.deleteAfter) ShortenNameAt(place, lastShred_.path, randomMode);
    }
    if (options.deleteAfter) return fsys::RemoveFile(place) || failed();
    return true;
}
