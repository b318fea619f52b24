#include "config/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "config/NumberText.h"
#include "config/OwnerTrust.h"

ProfileFile::ProfileFile(bool xmlForm) : xmlForm_(xmlForm) {
    RebuildFrame();
}

void ProfileFile::RebuildFrame() {
    if (!xmlForm_) {
        header_.clear();
        footer_.clear();
        return;
    }
    header_ = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<" + rootName_ + ">\r\n";
    footer_ = "</" + rootName_ + ">\r\n";
}

void ProfileFile::SetRootName(const std::string& name) {
    if (!xmlForm_) return;
    rootName_ = name;
    RebuildFrame();
}

std::string ProfileFile::GetText() const {
    return header_ + body_ + footer_;
}

bool ProfileFile::SetText(std::string_view text) {
    if (!xmlForm_) {
        body_.assign(text);
        return true;
    }
    size_t p1 = text.find("?>");
    size_t p2 = p1 == std::string_view::npos ? p1 : text.find('<', p1);
    size_t p3 = p2 == std::string_view::npos ? p2 : text.find('>', p2);
    if (p3 == std::string_view::npos) {
        SetRootName("InitFile");
        return false;
    }
    SetRootName(std::string(text.substr(p2 + 1, p3 - p2 - 1)));
    size_t start = p3 + 1;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
    size_t p4 = text.find("</" + rootName_ + ">", start);
    if (p4 == std::string_view::npos) return false;
    body_.assign(text.substr(start, p4 - start));
    return true;
}

void ProfileFile::Clear() {
    body_.clear();
    cursor_ = 0;
}

bool ProfileFile::Load(const std::string& path) {
    // O_NONBLOCK: a FIFO planted under a settings name must not hang the program
    // waiting for a writer; it is refused below like any other non-regular file.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    return fd >= 0 && LoadOpened(fd);
}

bool ProfileFile::LoadOwned(const std::string& path, bool& refused) {
    refused = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        refused = errno == ELOOP;
        return false;
    }
    // Judged on what was opened, so nothing can be swapped in after the look.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !IsOwnedAndPrivate(st)) {
        refused = true;
        ::close(fd);
        return false;
    }
    return LoadOpened(fd);
}

bool ProfileFile::LoadOpened(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        return false;
    }
    std::string data;
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
        // The file may have grown since fstat; offsets must stay within the cursor's range.
        if (data.size() > static_cast<size_t>(kMaxFileSize)) ok = false;
        if (!ok) break;
    }
    ::close(fd);
    if (!ok || data.empty()) return false;
    // The text ends at its first NUL byte, as a C string would.
    size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    return SetText(data);
}

namespace {

// Where the bytes of `path` really live: a settings file kept as a symbolic link
// (dot-file managers do that) is replaced at its target, so the link survives.
std::string SaveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string r(real);
    ::free(real);
    return r;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool ProfileFile::Save(const std::string& path, mode_t mode) const {
    const std::string text = GetText();
    const std::string target = SaveTarget(path);

    // The rename below would replace a file whatever its mode, so write protection
    // is checked here, as an open for writing would have: a file without any write
    // bit is read-only even for root (as everywhere in this program), and one the
    // caller may not write is not ours to replace.
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISREG(old.st_mode) &&
        ((old.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0))
        return false;

    // The new text goes to a fresh file beside the old one and replaces it in one
    // rename, so a full disk or a crash leaves the old file whole. The fresh file is
    // created with `mode` less the umask, and then given the old file's permissions
    // less what `mode` does not allow.
    static std::atomic<unsigned> counter{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        tmp = target + ".tmp" + std::to_string(::getpid()) + "-" +
              std::to_string(counter.fetch_add(1));
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode & 0777);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = WriteAll(fd, text);
    if (ok && exists && S_ISREG(old.st_mode)) (void)::fchmod(fd, old.st_mode & mode & 0777);
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here changes nothing already done.
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string ProfileFile::FindValue(std::string_view key, int32_t from) {
    std::string open, close;
    if (xmlForm_) {
        open = "<" + std::string(key) + ">";
        close = "</" + std::string(key) + ">";
    } else {
        open = std::string(key) + "=\"";
        close = "\"";
    }
    if (from < 0) from = 0;
    size_t f = body_.find(open, static_cast<size_t>(from));
    if (f == std::string::npos) return {};
    size_t vstart = f + open.size();
    size_t l = body_.find(close, vstart);
    if (l == std::string::npos) return {};
    cursor_ = static_cast<int32_t>(l + close.size());
    return body_.substr(vstart, l - vstart);
}

std::string ProfileFile::GetString(std::string_view key, const std::string& def) {
    std::string v = FindValue(key, 0);
    return v.empty() ? def : v;
}

int32_t ProfileFile::GetInt(std::string_view key, int32_t def) {
    std::string v = FindValue(key, 0);
    return v.empty() ? def : ParseInt32(v);
}

bool ProfileFile::GetBool(std::string_view key, bool def) {
    std::string v = FindValue(key, 0);
    return v.empty() ? def : ParseInt32(v) == 1;
}

std::string ProfileFile::GetNextString(std::string_view key) {
    return FindValue(key, cursor_);
}

void ProfileFile::WriteString(std::string_view key, std::string_view value) {
    std::string line;
    if (xmlForm_) {
        line.append("<").append(key).append(">").append(value).append("</").append(key).append(">");
    } else {
        line.append(key).append("=\"").append(value).append("\"");
    }
    line.append("\r\n");
    AppendLine(line);
}

void ProfileFile::WriteInt(std::string_view key, int32_t n) {
    WriteString(key, std::to_string(n));
}

void ProfileFile::WriteBool(std::string_view key, bool b) {
    WriteString(key, b ? "1" : "0");
}

void ProfileFile::AppendLine(std::string_view line) {
    if (xmlForm_) body_.append("  ");
    body_.append(line);
}
