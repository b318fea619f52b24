#include "platform/PathHere.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "config/TextConv.h"
#include "platform/FileSystem.h"

namespace {

PathHere Problem(std::string why) {
    return {{}, std::move(why)};
}

}  // namespace

PathHere NamePathHere(const std::u16string& arg) {
    std::string p;
    if (arg.empty() || !fsys::OsPath(arg, p) || p.empty()) return Problem("no path");
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name == "." || name == ".." || p == "/") {
        parent = p;  // such a last component is no entry of its own
        name.clear();
    }
    const int fd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Problem(std::strerror(errno));
    struct stat st {};
    const bool removed = ::fstat(fd, &st) != 0 || st.st_nlink == 0;
    std::vector<char> link(PATH_MAX + 1);
    const ssize_t n =
        ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link.data(), link.size());
    const int readErr = errno;
    ::close(fd);
    if (removed) return Problem("its folder was removed");
    if (n < 0 && readErr == ENAMETOOLONG) return Problem("its folder's path is too long");
    if (n < 0) return Problem(std::strerror(readErr));
    if (static_cast<size_t>(n) >= link.size()) return Problem("its folder's path is too long");
    std::string folder(link.data(), static_cast<size_t>(n));
    // The link names the folder as this process sees it; it must be that folder
    // for anyone who reads the path (not "... (deleted)", not another root).
    struct stat there {};
    if (folder.empty() || folder.front() != '/' || ::stat(folder.c_str(), &there) != 0 ||
        there.st_dev != st.st_dev || there.st_ino != st.st_ino)
        return Problem("its folder cannot be named");
    if (folder == "/proc" || folder.rfind("/proc/", 0) == 0)
        return Problem("it names a place of this process only");
    std::string out = name.empty() ? folder : folder + (folder == "/" ? "" : "/") + name;
    if (out.size() >= PATH_MAX) return Problem("its path is too long");
    return {WideFromUtf8(out), {}};
}
