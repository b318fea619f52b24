// The step-by-step folder walker of FileOps: one open directory stream per level,
// no list of entries, so memory stays flat however large the folders are and the
// caller can stop between any two entries.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "config/TextConv.h"
#include "engine/FileOps.h"

namespace {

bool IsDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Opens a sub-folder of an open folder. O_NOFOLLOW: if the entry was swapped for a
// symbolic link since it was listed, the open fails instead of leaving the tree.
DIR* OpenSubFolder(DIR* parent, const char* name) {
    int fd = ::openat(::dirfd(parent), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* d = ::fdopendir(fd);
    if (!d) ::close(fd);
    return d;
}

// A folder is empty when it lists nothing but "." and ".."; a folder that cannot be
// read counts as empty, as it yields nothing to the walk either.
bool SubFolderIsEmpty(DIR* parent, const char* name) {
    DIR* d = OpenSubFolder(parent, name);
    if (!d) return true;
    bool empty = true;
    while (const dirent* e = ::readdir(d)) {
        if (!IsDotOrDotDot(e->d_name)) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

}  // namespace

FileOps::~FileOps() {
    WalkCloseAll();
}

void FileOps::WalkCloseAll() {
    for (DIR*& d : walkStack_) {
        if (d) ::closedir(d);
        d = nullptr;
    }
    walkActive_ = false;
}

void FileOps::WalkConfigure(const WalkOptions& options) {
    // A walk still open belongs to the old options; it ends here.
    WalkCloseAll();
    walkOptions_ = options;
    walkFilter_.Configure(options);
}

bool FileOps::WalkFirst(std::u16string& path, int64_t& size, int64_t& time) {
    WalkCloseAll();
    path.clear();
    size = 0;
    time = 0;
    walkFolder_ = walkOptions_.startFolder;
    walkRecursive_ = walkOptions_.recursive;
    walkLevel_ = 0;
    walkPendingName_.clear();
    // An empty start folder would otherwise become "/" and walk the whole system.
    if (walkFolder_.empty()) return false;
    if (walkFolder_.back() != u'/') walkFolder_.push_back(u'/');

    DIR* d = ::opendir(Utf8FromWide(walkFolder_).c_str());
    if (!d) return false;
    walkStack_[0] = d;
    walkActive_ = true;
    if (const dirent* e = ::readdir(d)) WalkEntry(e, path, size, time);
    return true;
}

bool FileOps::WalkOpenLevel() {
    DIR* d = walkLevel_ == 0 ? ::opendir(Utf8FromWide(walkFolder_).c_str())
                             : OpenSubFolder(walkStack_[walkLevel_ - 1], walkPendingName_.c_str());
    walkStack_[walkLevel_] = d;
    return d != nullptr;
}

bool FileOps::WalkNext(std::u16string& path, int64_t& size, int64_t& time) {
    path.clear();
    size = 0;
    time = 0;
    // Once a walk is over (or before one began) there is nothing to step through;
    // reopening the start folder here would restart the walk for a careless caller.
    if (!walkActive_) return false;

    const dirent* e = nullptr;
    if (walkStack_[walkLevel_] == nullptr) {
        if (WalkOpenLevel()) e = ::readdir(walkStack_[walkLevel_]);
    } else {
        e = ::readdir(walkStack_[walkLevel_]);
    }

    if (e == nullptr) {
        if (walkStack_[walkLevel_]) ::closedir(walkStack_[walkLevel_]);
        walkStack_[walkLevel_] = nullptr;
        if (walkLevel_ == 0) {
            walkActive_ = false;
            return false;
        }
        // Back to the parent: drop the trailing separator and the last component.
        walkFolder_.pop_back();
        size_t cut = walkFolder_.rfind(u'/');
        walkFolder_.resize(cut == std::u16string::npos ? 0 : cut + 1);
        --walkLevel_;
        return true;
    }
    WalkEntry(e, path, size, time);
    return true;
}

void FileOps::WalkEntry(const dirent* entry, std::u16string& path, int64_t& size, int64_t& time) {
    const char* name = entry->d_name;
    if (IsDotOrDotDot(name)) return;
    DIR* here = walkStack_[walkLevel_];

    // The entry type comes with the listing on most file systems; a symbolic link
    // is never taken for what it points to.
    bool isFolder = entry->d_type == DT_DIR;
    struct stat st {};
    bool haveStat = false;
    if (entry->d_type == DT_UNKNOWN) {
        if (::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        haveStat = true;
        isFolder = S_ISDIR(st.st_mode);
    }

    if (!isFolder) {
        if (!haveStat && ::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return;  // gone since it was listed
        }
        std::u16string wname = WideFromUtf8(name);
        if (!walkFilter_.Passes(wname, st.st_size)) return;
        path = walkFolder_ + wname;
        size = st.st_size;
        time = st.st_mtime;
        return;
    }

    const bool report = walkOptions_.reportFolders ||
                        (walkOptions_.reportEmptyFolders && SubFolderIsEmpty(here, name));
    if (report && !haveStat)
        haveStat = ::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) == 0;

    std::u16string sub = walkFolder_ + WideFromUtf8(name) + u'/';
    if (walkRecursive_ && walkLevel_ + 1 < kWalkStackSize) {
        // The next step opens this folder; deeper trees stop descending at the last slot.
        walkFolder_ = sub;
        walkPendingName_ = name;
        ++walkLevel_;
    }
    if (report) {
        path = std::move(sub);
        size = 0;
        time = haveStat ? static_cast<int64_t>(st.st_mtime) : 0;
    }
}
