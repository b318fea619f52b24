// The small file operations of FileOps (the walker lives in FileOpsWalk.cpp,
// ShredFile in ShredFile.cpp). Each reaches its entry through fsys::Locate, so
// nothing below the confining root is ever reached through a link.
#include "engine/FileOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/TextConv.h"
#include "platform/FileSystem.h"
#include "platform/NameJournal.h"
#include "platform/Platform.h"
#include "platform/UserFolders.h"

namespace {

// On this platform "\" is an ordinary name character, so renaming and folder
// removal split paths at "/" only: a name such as "a\b.txt" is one name.
constexpr char16_t kSeparator = u'/';

// Draws of a scrambled name before a name that is taken everywhere gives up.
constexpr int kNameAttempts = 32;
// After that many random draws all taken, the names are tried in turn from the
// last one drawn: a folder of short numbered files (1 to 20000) leaves only a
// few free names of four digits, which random draws would keep missing.
constexpr int kNamesInTurn = 1 << 20;

// The next name of the same length in the order of the digits 0 to 8 (the
// digits a scrambled name is drawn from), wrapping around.
void NextDigitName(std::u16string& name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] < u'8') {
            ++name[i];
            return;
        }
        name[i] = u'0';
    }
}

// Whether the open folder holds no entry; closes nothing of the caller's.
bool FolderIsEmpty(int folderFd) {
    const int own = ::dup(folderFd);
    if (own < 0) return false;
    DIR* dir = ::fdopendir(own);
    if (!dir) {
        ::close(own);
        return false;
    }
    bool empty = true;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

}  // namespace

fsys::LocateResult FileOps::Locate(const std::u16string& path, fsys::Place& out) const {
    return fsys::Locate(root_, path, out);
}

fsys::LocateResult FileOps::LocateAndLook(const std::u16string& path, fsys::Place& out,
                                          fsys::Attributes& attr, bool& looked) {
    out = fsys::Place{};
    looked = false;
    std::string os;
    if (fsys::OsPath(path, os)) {
        while (os.size() > 1 && os.back() == '/') os.pop_back();
        const size_t slash = os.rfind('/');
        const std::string name = slash == std::string::npos ? "" : os.substr(slash + 1);
        const bool plainName = !name.empty() && name != "." && name != "..";
        if (plainName && held_ && heldRoot_.path == root_.path &&
            heldRoot_.identity == root_.identity && os.compare(0, slash, heldPath_) == 0 &&
            heldPath_.size() == slash) {
            out.folder = held_;
            out.name = name;
            looked = fsys::GetAttributes(out, attr);
            if (looked || attr.kind != fsys::Kind::kMissing) return fsys::LocateResult::kFound;
        }
        held_.reset();
        const fsys::LocateResult found = Locate(path, out);
        if (found != fsys::LocateResult::kFound) return found;
        looked = fsys::GetAttributes(out, attr);
        if (plainName && out.name == name) {
            heldRoot_ = root_;
            heldPath_ = os.substr(0, slash);
            held_ = out.folder;
        }
        return found;
    }
    const fsys::LocateResult found = Locate(path, out);
    if (found == fsys::LocateResult::kFound) looked = fsys::GetAttributes(out, attr);
    return found;
}

bool FileOps::IsFile(const std::u16string& path) {
    fsys::Place place;
    fsys::Attributes attr;
    return Locate(path, place) == fsys::LocateResult::kFound && fsys::GetAttributes(place, attr) &&
           attr.kind != fsys::Kind::kFolder;
}

bool FileOps::IsFolder(const std::u16string& path) {
    fsys::Place place;
    fsys::Attributes attr;
    // "/" has no folder above it to be reached from, yet it is the folder of
    // the system drive, which must be offered like any other mount point.
    if (!path.empty() && path.find_first_not_of(kSeparator) == std::u16string::npos)
        return fsys::GetAttributes(u"/", attr) && attr.kind == fsys::Kind::kFolder;
    return Locate(path, place) == fsys::LocateResult::kFound && fsys::GetAttributes(place, attr) &&
           attr.kind == fsys::Kind::kFolder;
}

bool FileOps::RemoveFile(const std::u16string& path) {
    fsys::Place place;
    return Locate(path, place) == fsys::LocateResult::kFound && fsys::RemoveFile(place);
}

bool FileOps::RenameFile(const std::u16string& oldPath, const std::u16string& newPath) {
    fsys::Place place;
    if (Locate(oldPath, place) != fsys::LocateResult::kFound) return false;
    // Renaming to the very same name leaves the file as it is and succeeds; with
    // zeros, every renaming after the first does exactly that.
    if (oldPath == newPath) {
        fsys::Attributes attr;
        return fsys::GetAttributes(place, attr);
    }
    // Within one folder the held folder does it; a move elsewhere takes the paths.
    if (FolderOfPath(oldPath) == FolderOfPath(newPath) && newPath.back() != kSeparator)
        return fsys::RenameNoReplace(place, Utf8FromWide(FileNameOfPath(newPath)));
    return fsys::RenameNoReplace(oldPath, newPath);
}

bool FileOps::MakeWritable(const std::u16string& path) {
    fsys::Place place;
    fsys::Attributes attr;
    if (Locate(path, place) != fsys::LocateResult::kFound || !fsys::GetAttributes(place, attr) ||
        attr.kind == fsys::Kind::kLink)
        return false;
    if ((attr.mode & 0200) != 0) return true;
    return fsys::SetPermissions(place, attr.mode | 0200);
}

bool FileOps::UnlockHoldingFolder(const std::u16string& path) {
    RelockHoldingFolder();
    fsys::Place place;
    uint32_t mode = 0;
    if (Locate(path, place) != fsys::LocateResult::kFound || !fsys::GetFolderMode(place, mode))
        return false;
    if ((mode & 0200) != 0) return true;
    if (!fsys::SetFolderMode(place, mode | 0200)) return false;
    unlocked_ = std::move(place);
    unlockedMode_ = mode;
    return true;
}

void FileOps::RelockHoldingFolder() {
    // The folder may be gone by now; the held descriptor still names the one we
    // changed, never another that took its path.
    if (unlocked_.folder) (void)fsys::SetFolderMode(unlocked_, unlockedMode_);
    unlocked_ = fsys::Place{};
}

bool FileOps::ShredNameAt(fsys::Place& place, std::u16string& path, bool randomDigits,
                          int32_t count) {
    const size_t cut = path.rfind(kSeparator);
    const std::u16string folder = cut == std::u16string::npos ? u"" : path.substr(0, cut + 1);
    const size_t length = path.size() - folder.size();
    if (length == 0) return false;  // a folder path names no file

    // Not the clock: threads of the pool start in the same second and would all
    // draw the same names, each taking the one another has just drawn.
    SeedThreadRandom(FreshRandomSeed());
    // Every name of this length is tried once at most.
    int namesInTurn = 1;
    for (size_t i = 0; i < length && namesInTurn < kNamesInTurn; ++i) namesInTurn *= 9;
    namesInTurn = std::min(namesInTurn, kNamesInTurn);
    for (int32_t round = 0; round < count; ++round) {
        std::u16string name(length, u'0');
        // A drawn name that another file has already (one shredded beside this one,
        // say) is drawn again; the other file is never replaced.
        for (int attempt = 0;; ++attempt) {
            if (randomDigits && attempt < kNameAttempts) {
                for (auto& c : name) c = static_cast<char16_t>(u'0' + ThreadRandom() % 9);
            } else if (randomDigits) {
                NextDigitName(name);
            }
            const std::string osName = Utf8FromWide(name);
            fsys::Attributes attr;
            // The place keeps naming the file under whatever name it has now.
            if (osName == place.name ? fsys::GetAttributes(place, attr)
                                     : fsys::RenameNoReplace(place, osName))
                break;
            if (!randomDigits || errno != EEXIST || attempt + 1 >= kNameAttempts + namesInTurn)
                return false;
        }
        path = folder + name;
    }
    return true;
}

void FileOps::ShortenNameAt(fsys::Place& place, std::u16string& path, bool randomDigits) {
    // A rename leaves the old name where the file system put it; ever shorter
    // names, each in the room an earlier one left, give it more chances to be
    // written over. A name that cannot be had ends the shortening: the file keeps
    // the scrambled name it has.
    const size_t cut = path.rfind(kSeparator);
    const std::u16string folder = cut == std::u16string::npos ? u"" : path.substr(0, cut + 1);
    for (size_t length = (path.size() - folder.size()) / 2; length >= 1; length /= 2) {
        std::u16string name(length, u'0');
        bool renamed = false;
        for (int attempt = 0; attempt < (randomDigits ? kNameAttempts : 1) && !renamed; ++attempt) {
            if (randomDigits)
                for (auto& c : name) c = static_cast<char16_t>(u'0' + ThreadRandom() % 9);
            renamed = fsys::RenameNoReplace(place, Utf8FromWide(name));
            if (!renamed && errno != EEXIST) return;
        }
        if (!renamed) return;
        path = folder + name;
    }
}

bool FileOps::RemoveScrambledFolder(fsys::Place& place, const std::u16string& path) {
    const int fd = ::openat(place.folder->Fd(), place.name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    // A folder that cannot be read cannot be told empty: only its removal can.
    if (fd < 0) return errno != ENOENT && errno != ENOTDIR && fsys::RemoveFolder(place);
    // A folder that still holds anything keeps its name and stays: its entries'
    // paths must stay what the list says. It is never removed as it is, even
    // when it has become empty meanwhile: it goes only by the way below, under a
    // scrambled name and written out first.
    if (!FolderIsEmpty(fd)) {
        ::close(fd);
        errno = ENOTEMPTY;
        return false;
    }
    const std::string original = place.name;
    std::u16string scrambled = path;
    if (ShredNameAt(place, scrambled, true, 1)) ShortenNameAt(place, scrambled, true);
    // ext4 frees the folder's blocks without writing home their last state,
    // the one with every entry wiped: written home first, they hold no name
    // when freed. With the rights the journal is checkpointed; without them a
    // sync writes the committed blocks home all the same.
    if (fsys::MayCheckpointJournals())
        (void)fsys::CheckpointJournal(fd, false);
    else if (fsys::OnExtFileSystem(fd))
        (void)::syncfs(fd);
    ::close(fd);
    if (fsys::RemoveFolder(place)) return true;
    // Filled again meanwhile: it stays, under the name it had.
    const int saved = errno;
    if (place.name != original) (void)fsys::RenameNoReplace(place, original);
    errno = saved;
    return false;
}

bool FileOps::ShredName(std::u16string& path, bool randomDigits, int32_t count) {
    fsys::Place place;
    if (path.empty() || path.back() == kSeparator) return false;
    if (Locate(path, place) != fsys::LocateResult::kFound) return false;
    return ShredNameAt(place, path, randomDigits, count);
}

const fsys::SystemPlaces& FileOps::Places() {
    if (!places_) places_ = fsys::CurrentSystemPlaces();
    return *places_;
}

std::u16string FileOps::RefusedPlace(const std::u16string& path) {
    fsys::Place place;
    if (Locate(path, place) != fsys::LocateResult::kFound) return {};
    return fsys::GuardText(Places().JudgeEntry(place));
}

bool FileOps::IsProtectedFolder(const fsys::Place& place, bool given) {
    if (!protectedKnown_) {
        protected_ = fsys::ProtectedFolderIdentities();
        protectedKnown_ = true;
    }
    if (fsys::IsMountPoint(place)) return true;
    if (Places().JudgeEntry(place) != fsys::Guard::kAllowed) return true;
    fsys::Attributes attr;
    if (!fsys::GetAttributes(place, attr)) return false;
    const fsys::Identity id = fsys::IdentityOf(attr);
    if (std::find(protected_.begin(), protected_.end(), id) != protected_.end() ||
        std::find(kept_.begin(), kept_.end(), id) != kept_.end())
        return true;
    // A shared folder (/tmp, /var/tmp) is a place, never contents, even when
    // chosen; a folder of someone else's that the run merely climbed into is
    // theirs to remove, as root's runs would otherwise take it.
    static const uid_t self = ::geteuid();  // the program never changes its user
    return (attr.mode & S_ISVTX) != 0 || (!given && attr.owner != self);
}

bool FileOps::RemoveFolderChain(const std::u16string& folder, bool given) {
    bool result = true;
    bool first = true;
    // Position 0 is never looked at, so "/" itself is never a candidate; the
    // climb also ends at the first protected folder: a mount point, a system
    // place, a shared or foreign folder, the home folder or one of the user's
    // standard folders.
    for (size_t i = folder.size(); i-- > 1;) {
        if (folder[i] != kSeparator || folder[i - 1] == kSeparator) continue;
        const std::u16string candidate = folder.substr(0, i);
        fsys::Place place;
        const fsys::LocateResult found = Locate(candidate, place);
        if (found == fsys::LocateResult::kRefused) return false;  // never climb through a link
        if (found != fsys::LocateResult::kFound) {
            result = false;
        } else if (IsProtectedFolder(place, given && first)) {
            // Asked to remove such a folder itself: it stays, like a folder in use.
            return result && !first;
        } else if (!(scrambleFolders_ ? RemoveScrambledFolder(place, candidate)
                                      : fsys::RemoveFolder(place))) {
            // A folder that stays keeps every folder above it from being empty.
            if (errno != ENOENT) return false;
            result = false;
        }
        first = false;
    }
    return result;
}
