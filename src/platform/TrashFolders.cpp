#include "platform/TrashFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "config/TextConv.h"
#include "platform/BoundedCall.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

namespace fsys {

namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

// The decoded folder name of a "directorysizes" line ("size mtime name").
std::string LineFolderName(const std::string& line) {
    const size_t first = line.find(' ');
    if (first == std::string::npos) return {};
    const size_t second = line.find(' ', first + 1);
    if (second == std::string::npos) return {};
    return PercentDecode(line.substr(second + 1));
}

bool ReadAll(int fd, std::string& out) {
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

}  // namespace

std::string PercentDecode(std::string_view coded) {
    std::string out;
    for (size_t i = 0; i < coded.size(); ++i) {
        if (coded[i] == '%' && i + 2 < coded.size() &&
            std::isxdigit(static_cast<unsigned char>(coded[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(coded[i + 2]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(coded.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(coded[i]);
        }
    }
    return out;
}

std::string HomeTrashPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') {
        std::string base = data;
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        return (base == "/" ? std::string() : base) + "/Trash";
    }
    std::string home;
    const char* env = std::getenv("HOME");
    struct stat st {};
    // A home handed down by another user's environment (sudo keeps $HOME) is not
    // this user's: its trash belongs to that user.
    if (env && env[0] == '/' && ::stat(env, &st) == 0 && st.st_uid == ::geteuid()) home = env;
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty()) return {};
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.local/share/Trash";
}

bool LookAtTrashFolder(const std::string& path, const std::string& topDir, TrashFolder& out) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    if (p.empty() || ::lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid())
        return false;
    out.path = WithSlash(p);
    out.topDir = topDir;
    out.identity = Identity{st.st_dev, st.st_ino};
    return true;
}

std::vector<TrashFolder> DriveTrashFolders(const std::string& topDir) {
    std::vector<TrashFolder> out;
    const std::string top = WithSlash(topDir);
    const std::string uid = std::to_string(::geteuid());
    // A shared ".Trash" only counts with the sticky bit (no one removes another's
    // folder in it) and as a real folder, never a link to somewhere else.
    struct stat shared {};
    const std::string sharedPath = top + ".Trash";
    if (::lstat(sharedPath.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX)) {
        TrashFolder t;
        if (LookAtTrashFolder(sharedPath + "/" + uid, top, t)) out.push_back(t);
    }
    TrashFolder own;
    if (LookAtTrashFolder(top + ".Trash-" + uid, top, own)) out.push_back(own);
    return out;
}

std::vector<TrashFolder> FindTrashFolders(const std::vector<std::string>& drives) {
    std::vector<TrashFolder> out;
    auto add = [&out](const TrashFolder& t) {
        for (const TrashFolder& have : out)
            if (have.identity == t.identity) return;
        out.push_back(t);
    };
    const std::string home = HomeTrashPath();
    if (!home.empty()) {
        const auto found =
            bounded::CallWithin<std::optional<TrashFolder>>([home]() -> std::optional<TrashFolder> {
                TrashFolder t;
                if (!LookAtTrashFolder(home, {}, t)) return std::nullopt;
                return t;
            });
        if (found && *found) add(**found);
    }
    for (const std::string& drive : drives) {
        // A drive that does not answer within the bound is left out.
        const auto found = bounded::CallWithin<std::vector<TrashFolder>>(
            [drive] { return DriveTrashFolders(drive); });
        if (found)
            for (const TrashFolder& t : *found) add(t);
    }
    return out;
}

std::vector<TrashFolder> FindUserTrashFolders() {
    std::vector<std::string> drives;
    for (const std::u16string& d : ListDrives()) drives.push_back(Utf8FromWide(d));
    return FindTrashFolders(drives);
}

bool PruneDirectorySizes(const TrashFolder& trash) {
    const int dir = ::open(trash.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return false;
    struct stat st {};
    bool ok = ::fstat(dir, &st) == 0 && Identity{st.st_dev, st.st_ino} == trash.identity;
    const int files =
        ok ? ::openat(dir, "files", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
    const int sizes = ok ? ::openat(dir, "directorysizes", O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (!ok || sizes < 0) {
        // No list: nothing to keep in step.
        ok = ok && errno == ENOENT;
        if (files >= 0) ::close(files);
        ::close(dir);
        return ok;
    }
    std::string text;
    ok = ::fstat(sizes, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(sizes, text);
    ::close(sizes);
    std::string kept;
    bool changed = false;
    std::istringstream lines(text);
    for (std::string line; ok && std::getline(lines, line);) {
        const std::string name = LineFolderName(line);
        struct stat item {};
        const bool gone =
            !name.empty() && name.find('/') == std::string::npos &&
            (files < 0 ||
             (::fstatat(files, name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT));
        if (gone) {
            changed = true;
            continue;
        }
        kept += line + "\n";
    }
    if (ok && changed) {
        const std::string temp = "directorysizes.kelvane-" + std::to_string(::getpid());
        const int out =
            ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        ok = out >= 0;
        if (ok) {
            ok = WriteAll(out, kept) && ::fsync(out) == 0;
            ok = ::close(out) == 0 && ok;
            ok = ok && ::renameat(dir, temp.c_str(), dir, "directorysizes") == 0;
            if (!ok) (void)::unlinkat(dir, temp.c_str(), 0);
        }
    }
    if (files >= 0) ::close(files);
    ::close(dir);
    return ok;
}

}  // namespace fsys
