#include "engine/FillRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

namespace {

// Names may hold any byte but zero, so every field ends with a zero byte.
constexpr char kMagic[] = "KelvaneFillRecord2";
constexpr size_t kFieldsPerEntry = 8;

bool ReadAll(int fd, std::string& out) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& data) {
    for (size_t at = 0; at < data.size();) {
        ssize_t n = ::write(fd, data.data() + at, data.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && !text.empty();
}

void Field(std::string& out, const std::string& text) {
    out += text;
    out.push_back('\0');
}

std::string Encode(const FillerEntry& e) {
    std::string out;
    Field(out, e.folder);
    Field(out, std::to_string(e.folderDev));
    Field(out, std::to_string(e.folderIno));
    Field(out, e.name);
    Field(out, std::to_string(e.dev));
    Field(out, std::to_string(e.ino));
    Field(out, std::to_string(e.birthSec) + "." + std::to_string(e.birthNsec));
    Field(out, e.marked ? "1" : "0");
    return out;
}

bool Decode(const std::vector<std::string>& f, size_t at, FillerEntry& e) {
    e.folder = f[at];
    e.name = f[at + 3];
    const std::string& birth = f[at + 6];
    const size_t dot = birth.find('.');
    return !e.folder.empty() && e.folder.back() == '/' && !e.name.empty() &&
           e.name.find('/') == std::string::npos && e.name != "." && e.name != ".." &&
           ParseNumber(f[at + 1], e.folderDev) && ParseNumber(f[at + 2], e.folderIno) &&
           ParseNumber(f[at + 4], e.dev) && ParseNumber(f[at + 5], e.ino) &&
           dot != std::string::npos && ParseNumber(birth.substr(0, dot), e.birthSec) &&
           ParseNumber(birth.substr(dot + 1), e.birthNsec) &&
           (f[at + 7] == "0" || f[at + 7] == "1") && (e.marked = f[at + 7] == "1", true);
}

RecordTrust TrustOf(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return RecordTrust::NotAFile;
    if (st.st_uid != ::geteuid()) return RecordTrust::NotOwned;
    if ((st.st_mode & 0177) != 0) return RecordTrust::NotPrivate;
    return RecordTrust::Trusted;
}

bool SyncFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return false;
    const bool ok = ::fsync(dfd) == 0;
    ::close(dfd);
    return ok;
}

// A new record holding `entries`, put in place of whatever is at `path`.
// Returns the new record's descriptor (open for appending) or -1.
int ReplaceRecord(const std::string& path, const std::vector<FillerEntry>& entries) {
    const std::string temp = path + ".new";
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    std::string text;
    Field(text, kMagic);
    for (const FillerEntry& e : entries) text += Encode(e);
    if (!WriteAll(fd, text) || ::fsync(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::close(fd);
        ::unlink(temp.c_str());
        return -1;
    }
    (void)SyncFolderOf(path);
    return fd;
}

}  // namespace

bool DescribeNewFiller(int fd, bool mark, FillerEntry& entry) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
    entry.dev = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
    entry.ino = sx.stx_ino;
    if (sx.stx_mask & STATX_BTIME) {
        entry.birthSec = sx.stx_btime.tv_sec;
        entry.birthNsec = sx.stx_btime.tv_nsec;
    }
    entry.marked = mark && ::fsetxattr(fd, kFillerMark, "1", 1, XATTR_CREATE) == 0;
    return true;
}

RecordRead ReadFillRecord(const std::string& recordPath) {
    RecordRead out;
    int fd = ::open(recordPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.trust = errno == ENOENT  ? RecordTrust::Missing
                    : errno == ELOOP ? RecordTrust::NotAFile
                                     : RecordTrust::Unreadable;
        return out;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) != 0)
        out.trust = RecordTrust::Unreadable;
    else if ((out.trust = TrustOf(st)) == RecordTrust::Trusted && !ReadAll(fd, text))
        out.trust = RecordTrust::Unreadable;
    ::close(fd);
    if (out.trust != RecordTrust::Trusted) return out;

    std::vector<std::string> fields;
    for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
        fields.push_back(text.substr(at, end - at));
    if (fields.empty() || fields[0] != kMagic) {
        out.trust = RecordTrust::OldFormat;
        return out;
    }
    // A last entry cut short by a crash is no proof of anything: it is dropped.
    for (size_t at = 1; at + kFieldsPerEntry <= fields.size(); at += kFieldsPerEntry) {
        FillerEntry e;
        if (Decode(fields, at, e)) out.entries.push_back(std::move(e));
    }
    return out;
}

bool RewriteFillRecord(const std::string& recordPath, const std::vector<FillerEntry>& entries) {
    if (entries.empty()) {
        ClearFillRecord(recordPath);
        return true;
    }
    const int fd = ReplaceRecord(recordPath, entries);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void ClearFillRecord(const std::string& recordPath) {
    ::unlink(recordPath.c_str());
}

bool FillRecord::Open(const std::string& path) {
    Close();
    // Written anew each time: what a trusted record lists stays, an entry a
    // crash cut short goes, and appending starts on a field boundary.
    RecordRead earlier = ReadFillRecord(path);
    if (earlier.trust != RecordTrust::Trusted) earlier.entries.clear();
    const int fd = ReplaceRecord(path, earlier.entries);
    if (fd < 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_APPEND) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool FillRecord::Add(const FillerEntry& entry, bool sync) {
    if (fd_ < 0) return false;
    return WriteAll(fd_, Encode(entry)) && (!sync || Sync());
}

bool FillRecord::Sync() {
    return fd_ >= 0 && ::fdatasync(fd_) == 0;
}

void FillRecord::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}
