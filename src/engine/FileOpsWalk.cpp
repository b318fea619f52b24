// The step-by-step folder walker of FileOps: one open directory stream per level,
// no list of entries, so memory stays flat however large the folders are and the
// caller can stop between any two entries.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

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

WalkSkip SkipOfErrno(int err) {
    if (err == ENOENT) return WalkSkip::kVanished;
    if (err == ELOOP || err == ENOTDIR) return WalkSkip::kLinkNotFollowed;
    return WalkSkip::kUnreadable;
}

// Each level of a deep walk holds a descriptor; a low soft limit would cut the
// walk short long before its depth limit.
void RaiseOpenFileLimit() {
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit lim{};
        if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) return;
        const rlim_t want = FileOps::kWalkStackSize + 256;
        if (lim.rlim_cur >= want) return;
        lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? want : std::min(want, lim.rlim_max);
        (void)::setrlimit(RLIMIT_NOFILE, &lim);
    });
}

// A readdir that tells the end of a folder from a failure to read it.
const dirent* ReadEntry(DIR* d, bool& failed) {
    errno = 0;
    const dirent* e = ::readdir(d);
    failed = e == nullptr && errno != 0;
    return e;
}

// The folder the walk starts from: the user's choice, as the path gives it, but
// never through a link in its own last component.
DIR* OpenStartFolder(const std::u16string& folder) {
    std::string p = Utf8FromWide(folder);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* d = ::fdopendir(fd);
    if (!d) ::close(fd);
    return d;
}

// A folder is empty when it lists nothing but "." and "..". Returns its first other
// entry, or nullptr when there is none.
const dirent* FirstRealEntry(DIR* d) {
    while (const dirent* e = ::readdir(d))
        if (!IsDotOrDotDot(e->d_name)) return e;
    return nullptr;
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
    walkPushed_ = false;
}

void FileOps::WalkSkipEntry(WalkSkip why, std::u16string path) {
    walkSkip_ = why;
    walkSkipPath_ = std::move(path);
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
    walkSkip_ = WalkSkip::kNone;
    // An empty start folder would otherwise become "/" and walk the whole system.
    if (walkFolder_.empty()) return false;
    if (walkFolder_.back() != u'/') walkFolder_.push_back(u'/');
    RaiseOpenFileLimit();

    DIR* d = OpenStartFolder(walkFolder_);
    if (!d) return false;
    if (Places().JudgeFolder(::dirfd(d)) != fsys::Guard::kAllowed) {
        ::closedir(d);
        WalkSkipEntry(WalkSkip::kSystemPlace, walkFolder_);
        return false;
    }
    walkStack_[0] = d;
    walkActive_ = true;
    if (const dirent* e = ::readdir(d)) WalkEntry(e->d_name, e->d_type, path, size, time);
    return true;
}

bool FileOps::WalkOpenLevel() {
    DIR* d = walkLevel_ == 0 ? OpenStartFolder(walkFolder_)
                             : OpenSubFolder(walkStack_[walkLevel_ - 1], walkPendingName_.c_str());
    if (!d) WalkSkipEntry(SkipOfErrno(errno), walkFolder_);
    walkStack_[walkLevel_] = d;
    return d != nullptr;
}

bool FileOps::WalkNext(std::u16string& path, int64_t& size, int64_t& time) {
    path.clear();
    size = 0;
    time = 0;
    walkSkip_ = WalkSkip::kNone;
    // Once a walk is over (or before one began) there is nothing to step through;
    // reopening the start folder here would restart the walk for a careless caller.
    if (!walkActive_) return false;

    if (walkPushed_ && walkStack_[walkLevel_] != nullptr) {
        walkPushed_ = false;
        const std::string name = std::move(walkPushedName_);
        WalkEntry(name.c_str(), walkPushedType_, path, size, time);
        return true;
    }
    const dirent* e = nullptr;
    bool failed = false;
    if (walkStack_[walkLevel_] == nullptr) {
        if (WalkOpenLevel()) e = ReadEntry(walkStack_[walkLevel_], failed);
    } else {
        e = ReadEntry(walkStack_[walkLevel_], failed);
    }
    // The rest of a folder that fails to read is not listed: say so.
    if (failed) WalkSkipEntry(WalkSkip::kUnreadable, walkFolder_);

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
    WalkEntry(e->d_name, e->d_type, path, size, time);
    return true;
}

void FileOps::WalkEntry(const char* name, unsigned char type, std::u16string& path, int64_t& size,
                        int64_t& time) {
    if (IsDotOrDotDot(name)) return;
    DIR* here = walkStack_[walkLevel_];
    const bool wantStat = walkOptions_.fillSizeAndTime;

    // The entry type comes with the listing on most file systems; a symbolic link
    // is never taken for what it points to.
    bool isFolder = type == DT_DIR;
    struct stat st {};
    bool haveStat = false;
    if (type == DT_UNKNOWN) {
        if (::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            WalkSkipEntry(SkipOfErrno(errno), walkFolder_ + WideFromUtf8(name));
            return;
        }
        haveStat = true;
        isFolder = S_ISDIR(st.st_mode);
    }

    if (!isFolder) {
        if (!haveStat && (wantStat || walkFilter_.NeedsSize())) {
            if (::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                WalkSkipEntry(SkipOfErrno(errno), walkFolder_ + WideFromUtf8(name));
                return;
            }
            haveStat = true;
        }
        std::u16string wname = WideFromUtf8(name);
        const int64_t entrySize = haveStat ? static_cast<int64_t>(st.st_size) : -1;
        if (!walkFilter_.Passes(wname, entrySize)) return;
        path = walkFolder_ + wname;
        size = wantStat ? entrySize : -1;
        time = wantStat ? static_cast<int64_t>(st.st_mtime) : -1;
        return;
    }

    // /proc or a bind of /etc inside a chosen folder is neither listed nor entered.
    if (walkRecursive_) {
        const int sub =
            ::openat(::dirfd(here), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const bool system = sub >= 0 && Places().JudgeFolder(sub) != fsys::Guard::kAllowed;
        if (sub >= 0) ::close(sub);
        if (system) {
            WalkSkipEntry(WalkSkip::kSystemPlace, walkFolder_ + WideFromUtf8(name) + u'/');
            return;
        }
    }
    bool descend = walkRecursive_ && walkLevel_ + 1 < kWalkStackSize;
    if (walkRecursive_ && !descend)
        WalkSkipEntry(WalkSkip::kTooDeep, walkFolder_ + WideFromUtf8(name) + u'/');
    bool report = walkOptions_.reportFolders;
    DIR* opened = nullptr;
    if (!report && walkOptions_.reportEmptyFolders) {
        // A folder that cannot be read counts as empty: it yields nothing to the walk
        // (and is told as not listed, once, here rather than again when entered).
        opened = OpenSubFolder(here, name);
        if (!opened) {
            WalkSkipEntry(SkipOfErrno(errno), walkFolder_ + WideFromUtf8(name) + u'/');
            descend = false;
        }
        const dirent* first = opened ? FirstRealEntry(opened) : nullptr;
        report = first == nullptr;
        if (opened && descend) {
            // The folder is entered next: its search goes on from this stream, and the
            // entry the test took out comes back as the next step (the "." and ".."
            // it passed over report nothing anyway).
            if (first) {
                walkPushedName_ = first->d_name;
                walkPushedType_ = first->d_type;
                walkPushed_ = true;
            }
        } else if (opened) {
            ::closedir(opened);
            opened = nullptr;
        }
    }
    if (report && wantStat && !haveStat)
        haveStat = ::fstatat(::dirfd(here), name, &st, AT_SYMLINK_NOFOLLOW) == 0;

    std::u16string sub = walkFolder_ + WideFromUtf8(name) + u'/';
    if (descend) {
        // The next step reads this folder; deeper trees stop descending at the last slot.
        walkFolder_ = sub;
        walkPendingName_ = name;
        ++walkLevel_;
        walkStack_[walkLevel_] = opened;
    }
    if (report) {
        path = std::move(sub);
        size = wantStat ? 0 : -1;
        time = !wantStat ? -1 : haveStat ? static_cast<int64_t>(st.st_mtime) : 0;
    }
}
