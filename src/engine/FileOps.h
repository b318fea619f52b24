#pragma once
// The file operations of the shredding engine and the step-by-step folder walker.
// Every operation reports success as a boolean and never shows a message.
#include <dirent.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/WalkFilter.h"
#include "platform/ConfinedPath.h"
#include "platform/SystemPlaces.h"

class ShredCheck;

struct ShredFileOptions {
    std::u16string path;          // full path of the file
    std::u16string shredValue;    // empty: random data; else a fixed byte value or a pattern file
    bool shredNames = false;      // scramble the name after the passes
    bool modifySize = false;      // change the size after the passes
    bool sizeToZero = true;       // true: cut to zero length; false: grow by a random amount
    uint32_t blockSize = 0;       // bytes per write; 0 stands for 102400
    bool deleteAfter = true;      // delete the file at the end
    ShredCheck* check = nullptr;  // when set: the last pass is read back and checked
    // A device node is removed only when the user chose it on its own; one met
    // in a chosen folder is left alone (a copied /dev would otherwise go).
    bool deviceChosen = false;
    // When set: called as the passes go on with the bytes written so far and the
    // bytes all passes write.
    std::function<void(int64_t done, int64_t total)> progress;
    // When set: told what the entry is once it was looked at (fd -1), and for a
    // file again with the open file, before the first pass; a report takes its
    // facts from here rather than looking at every entry a second time.
    std::function<void(int fd, const fsys::Attributes& attr)> seen;
    // When set: once it turns true the passes end after the write under way and
    // the file stays where it is, under its own name (ShredReport::interrupted).
    const std::atomic<bool>* stop = nullptr;
    // When set: forces a pass's data to the device in place of the file's own
    // fdatasync (to share one sync with the other files under way); `device` is
    // the file's. True when the data is there.
    std::function<bool(int fd, uint64_t device)> syncPass;
};

struct WalkOptions {
    bool recursive = true;
    std::u16string startFolder;        // ends with a separator
    std::u16string nameFilter = u"*";  // "*" or a text the name must contain (case ignored)
    std::u16string extFilter = u"*";   // "*" or ".a;.b" (case ignored)
    bool sizeFilterOn = false;
    int32_t minSize = -1;
    int32_t maxSize = -1;
    bool reportFolders = false;
    bool reportEmptyFolders = false;
    // Off: steps report size and time as -1, which saves one lstat per entry for callers
    // that look the entry up again anyway (the size filter still measures).
    bool fillSizeAndTime = true;
};

// Entries of a folder tree that a walk met but could not list.
enum class WalkSkip {
    kNone,
    kTooDeep,          // a folder at the depth limit: not entered
    kUnreadable,       // a folder that could not be opened or read, or an entry not examined
    kVanished,         // gone between its listing and its examination
    kLinkNotFollowed,  // a folder that became a link (or another object) when entered
    kSystemPlace,      // a system place or a file system the kernel makes up: not entered
};

// Path helpers; both accept "\" and "/" as separators.
std::u16string FolderOfPath(const std::u16string& path);
std::u16string FileNameOfPath(const std::u16string& path);

// What ShredFile found out about the file it was given.
struct ShredReport {
    std::u16string path;      // where the file is now (its scrambled name after a failed renaming)
    uint64_t otherNames = 0;  // names the file has besides this one (hard links)
    bool wasFolder = false;   // the path named a folder, which a file shredding leaves alone
    // A folder on the way was a link, no folder, or not the folder listed: the
    // entry was not touched.
    bool folderChanged = false;
    // The file system (st_dev) of the file whose data was overwritten; 0 when no
    // data was reached.
    uint64_t device = 0;
    // Why the entry was left untouched although it is there (a system place, a
    // device node not chosen on its own); empty when it was not refused.
    std::u16string refused{};
    int error = 0;  // the system's error number of a failure; 0 when none is known
    // A stop ended the passes: the file is left in place, neither renamed nor
    // removed, after `passesDone` whole (synced) passes.
    bool interrupted = false;
    int32_t passesDone = 0;
};

class FileOps {
  public:
    FileOps() = default;
    ~FileOps();
    FileOps(const FileOps&) = delete;
    FileOps& operator=(const FileOps&) = delete;

    // ---- shredding engine ----
    // Every operation below on a path under `root.path` reaches it without
    // following a link below the root; any other path is taken from its folder.
    void ConfineTo(fsys::Root root) { root_ = std::move(root); }
    // Folders that stay when a removal of emptied folders reaches them, as the
    // user's own folders do (a trash's "files" and "info").
    void KeepFolders(const std::vector<fsys::Identity>& folders) {
        kept_.insert(kept_.end(), folders.begin(), folders.end());
    }
    const ShredReport& LastShred() const { return lastShred_; }
    // With scrambled names: an emptied folder that RemoveFolderChain removes goes
    // under a scrambled name first, and on ext4 (with the rights) its wiped
    // blocks are written home before they are freed, which otherwise keeps the
    // old names in them.
    void ScrambleFolderNames(bool on) { scrambleFolders_ = on; }

    bool IsFile(const std::u16string& path);
    bool IsFolder(const std::u16string& path);
    // The folder of the file shredded last stays held (for the next file in it)
    // until another folder's file or the end of this FileOps.
    bool ShredFile(int32_t passes, ShredFileOptions options);
    bool ShredName(std::u16string& path, bool randomDigits, int32_t count);
    bool RemoveFile(const std::u16string& path);
    bool RenameFile(const std::u16string& oldPath, const std::u16string& newPath);
    bool MakeWritable(const std::u16string& path);
    // Removes the folder and its emptied parents, up to (never including) a mount
    // point, "/", a system place, the user's home or one of the user's standard
    // folders, or a shared folder (sticky, like /tmp and /var/tmp). A folder the
    // run was not given (every parent, and `folder` itself unless `given`) is
    // also kept when someone else owns it. False when a folder of the chain could
    // not be removed, or `folder` itself is such a protected folder.
    bool RemoveFolderChain(const std::u16string& folder, bool given = true);
    // Why the run must leave `path` alone (GuardText of a system place), reached
    // as every other operation reaches it; empty when it may go on.
    std::u16string RefusedPlace(const std::u16string& path);
    // With "Ignore write protection": the folder holding `path` gets its owner's
    // write bit while the entry is renamed or removed; RelockHoldingFolder puts
    // the old mode back. Nothing changes when the bit is there already.
    bool UnlockHoldingFolder(const std::u16string& path);
    void RelockHoldingFolder();

    // ---- folder tree walker ----
    // Configure, then WalkFirst; while it returns true, handle its outputs and call
    // WalkNext until that returns false. A step may report nothing (empty path).
    // Outputs: path (files: folder + name; folders: their path ending with "/"),
    // size in bytes (0 for a folder) and last-write time in seconds since the epoch,
    // both as lstat gives them. A symbolic link is a file entry: it is never entered.
    // Only "." and ".." are skipped; names beginning with a dot are ordinary entries.
    // A folder below the kWalkStackSize-th level is not entered (its entry is still
    // reported where the folder options ask for it); the walk holds one folder
    // descriptor per level and never a whole path, so only that limit (against
    // loops of mounts and absurd trees) bounds it, not the length of a path.
    // An entry a step could not list (see WalkSkip) is told by WalkSkipped.
    void WalkConfigure(const WalkOptions& options);
    bool WalkFirst(std::u16string& path, int64_t& size, int64_t& time);
    bool WalkNext(std::u16string& path, int64_t& size, int64_t& time);
    // The folder being read, ending with a separator.
    const std::u16string& WalkCurrentFolder() const { return walkFolder_; }
    // What the last step could not list, and its path (a folder's ends with "/");
    // kNone when it listed everything it met.
    WalkSkip WalkSkipped() const { return walkSkip_; }
    const std::u16string& WalkSkippedPath() const { return walkSkipPath_; }

    static constexpr int kWalkStackSize = 1000;

  private:
    fsys::LocateResult Locate(const std::u16string& path, fsys::Place& out) const;
    // Locate and a look at the entry, for one entry after another of one folder:
    // the folder held for the last entry serves the next one in it, without
    // walking down to it again. Where the entry is not found there (the folder was
    // removed or replaced since), the path is followed afresh. `looked` tells
    // whether the look succeeded (errno says why not).
    fsys::LocateResult LocateAndLook(const std::u16string& path, fsys::Place& out,
                                     fsys::Attributes& attr, bool& looked);
    bool IsProtectedFolder(const fsys::Place& place, bool given);
    const fsys::SystemPlaces& Places();
    bool ShredNameAt(fsys::Place& place, std::u16string& path, bool randomDigits, int32_t count);
    void ShortenNameAt(fsys::Place& place, std::u16string& path, bool randomDigits);
    bool RemoveScrambledFolder(fsys::Place& place, const std::u16string& path);

    fsys::Root root_;
    // The folder LocateAndLook found last: under which root, at which path.
    fsys::Root heldRoot_;
    std::string heldPath_;
    std::shared_ptr<fsys::HeldFolder> held_;
    ShredReport lastShred_;
    std::vector<fsys::Identity> protected_;
    bool protectedKnown_ = false;
    std::shared_ptr<const fsys::SystemPlaces> places_;
    bool scrambleFolders_ = false;
    std::vector<fsys::Identity> kept_;
    fsys::Place unlocked_;
    uint32_t unlockedMode_ = 0;

    // walker state
    void WalkCloseAll();
    bool WalkOpenLevel();
    void WalkEntry(const char* name, unsigned char type, std::u16string& path, int64_t& size,
                   int64_t& time);
    WalkOptions walkOptions_;
    WalkFilter walkFilter_;
    std::u16string walkFolder_;
    std::string walkPendingName_;  // the sub-folder the next step opens, as on disk
    // The first entry of a just-entered folder, already read by the emptiness test.
    bool walkPushed_ = false;
    std::string walkPushedName_;
    unsigned char walkPushedType_ = 0;
    bool walkRecursive_ = false;
    bool walkActive_ = false;
    std::vector<DIR*> walkStack_ = std::vector<DIR*>(kWalkStackSize, nullptr);
    WalkSkip walkSkip_ = WalkSkip::kNone;
    std::u16string walkSkipPath_;
    void WalkSkipEntry(WalkSkip why, std::u16string path);
    int walkLevel_ = 0;
};

// The per-thread pseudo-random generator: state = state * 214013 + 2531011,
// output (state >> 16) & 0x7FFF.
void SeedThreadRandom(uint32_t seed);
int ThreadRandom();
// A seed that differs per thread and per call (from the kernel's random source),
// for draws that must not repeat across threads started in the same second.
uint32_t FreshRandomSeed();
// Tests: FreshRandomSeed returns what `hook` returns (nullptr: the real source),
// so that the names a run draws can be known beforehand.
void SetFreshRandomSeedHook(uint32_t (*hook)());
