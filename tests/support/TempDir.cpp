#include "support/TempDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "config/TextConv.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string base = fs::temp_directory_path().string() + "/kelvane-test-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = std::string(buf.data()) + "/";
}

namespace {

// Removes what lies below an open folder, descriptor by descriptor: a tree too
// deep for path calls goes too.
void RemoveBelow(int fd, int depth) {
    DIR* d = ::fdopendir(::dup(fd));
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == ".." || ::unlinkat(fd, n.c_str(), 0) == 0) continue;
        int sub = ::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (sub >= 0 && depth < 100000) {
            ::fchmod(sub, 0700);
            RemoveBelow(sub, depth + 1);
        }
        if (sub >= 0) ::close(sub);
        ::unlinkat(fd, n.c_str(), AT_REMOVEDIR);
    }
    ::closedir(d);
}

}  // namespace

TempDir::~TempDir() {
    std::error_code ec;
    // Tests take write and search rights away; give them back so that all goes.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    ::chmod(path_.c_str(), 0700);
    fs::remove_all(path_, ec);
    if (PathExists(path_)) {
        int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (fd >= 0) {
            RemoveBelow(fd, 0);
            ::close(fd);
        }
        ::rmdir(path_.c_str());
    }
}

std::u16string TempDir::WPath() const {
    return WideFromUtf8(path_);
}
std::u16string TempDir::WSub(const std::string& rel) const {
    return WideFromUtf8(path_ + rel);
}

void TempDir::WriteFile(const std::string& rel, const std::string& content) const {
    fs::path p(path_ + rel);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempDir::WriteFileAt(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
}

void TempDir::MakeDir(const std::string& rel) const {
    fs::create_directories(path_ + rel);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}
