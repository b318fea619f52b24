#pragma once
// Finding an entry of a run without leaving what the user chose.
//
// A run works on paths that were listed earlier; by the time it gets to one, a
// folder on the way may have been swapped for a symbolic link to somewhere else.
// So every entry is reached from a folder descriptor: the chosen root is opened,
// then each folder below it with links refused (openat2 RESOLVE_NO_SYMLINKS, or a
// component-by-component O_NOFOLLOW | O_DIRECTORY walk on kernels without it),
// and the entry itself is then worked on with the *at calls, relative to the
// folder that holds it. The components above the root are the user's own choice
// and were resolved to their real location when the path entered the list.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace fsys {

// Which object a path named when it was listed.
struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool Known() const { return device != 0 || inode != 0; }
    bool operator==(const Identity&) const = default;
};

// The folder (or, for a file the user chose, the folder holding it) below which
// nothing is followed. `path` is absolute and ends with "/"; when `identity` is
// known, the root must still be that very folder.
struct Root {
    std::u16string path;
    Identity identity;
};

// An open folder descriptor, shared by the places found in it.
class HeldFolder {
  public:
    explicit HeldFolder(int fd) : fd_(fd) {}
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    int Fd() const { return fd_; }

    // Whether the folder lies on a system file system (proc, sysfs, devtmpfs):
    // a fact of the folder, asked once for all the entries found in it.
    // -1: not asked yet; 0: no; 1: yes.
    std::atomic<int> onSystemFileSystem{-1};

  private:
    int fd_;
};

// An entry as the run reaches it: the folder holding it, and its own name there.
struct Place {
    std::shared_ptr<HeldFolder> folder;
    std::string name;  // as on disk, no separator
    bool Valid() const { return folder != nullptr && !name.empty(); }
};

enum class LocateResult {
    kFound,
    kMissing,  // a folder on the way is gone: so is the entry
    kRefused,  // a folder on the way is a link, not a folder, or not the one listed
    kFailed,   // the path names no entry, or the system refused (access, I/O)
};

// Opens the folder holding `path`. A path below `root` is resolved without
// following any link under the root; any other path (including the root itself)
// is taken from its parent folder as the path gives it. The entry's last
// component is never followed: the caller looks at it with the *at calls.
LocateResult Locate(const Root& root, const std::u16string& path, Place& out);

// How folders below the root are resolved. Automatic uses openat2 where the
// kernel has it; the walk is what older kernels get (tests force each).
enum class ResolveMethod { kAutomatic, kComponentWalk };
void SetResolveMethod(ResolveMethod method);
bool KernelResolvesWithoutLinks();  // openat2 with RESOLVE_NO_SYMLINKS is there

// ---- the *at forms of the file-system calls, on a place ----
bool GetAttributes(const Place& place, Attributes& out);
Identity IdentityOf(const Attributes& attr);
// Renames within the holding folder; never replaces. On success the place names
// the new entry.
bool RenameNoReplace(Place& place, const std::string& newName);
bool RemoveFile(const Place& place);
bool RemoveFolder(const Place& place);
bool SetPermissions(const Place& place, uint32_t mode);
// The root of a mounted file system (also a bind mount on the same device).
bool IsMountPoint(const Place& place);

// The holding folder's own permission bits, and changing them through the held
// descriptor (so a swap of its path cannot redirect the change).
bool GetFolderMode(const Place& place, uint32_t& mode);
bool SetFolderMode(const Place& place, uint32_t mode);

// A path the user gives (command line, dialogs, drops): made absolute, the
// folders above the entry resolved to their real location, the entry's own last
// component kept as it is ("link/" names the link "link", not the folder it
// points to). Empty when the folders above cannot be resolved.
std::u16string ResolveChosenPath(const std::u16string& path);

// A path the user gives, as it enters the list: its ResolveChosenPath form, the
// folder holding it (ending with "/", with that folder's identity) and the entry
// itself as it is in that very folder (never followed). The identity and the
// entry come from one descriptor of the folder, so they agree even while the
// folder's path is being swapped. False when the entry or its folder is missing.
// `guard` says whether the entry is, holds or lies on a system place (SystemPlaces.h).
enum class Guard;
struct ChosenEntry {
    std::u16string path;
    Root holder;
    Attributes attr;
    Guard guard{};
};
bool LookAtChosen(const std::u16string& path, ChosenEntry& out);

}  // namespace fsys
