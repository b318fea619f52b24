#include "log/MadeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

constexpr off_t kMaxRecordBytes = 16 << 20;

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

bool FromHex(const std::string& hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    out.clear();
    auto value = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = value(hex[i]), lo = value(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

struct Made {
    std::string kind, group, path;
    int64_t made = 0;
    uint64_t dev = 0, ino = 0;
    int64_t size = 0, mtimeNs = 0;
    std::string line;  // as read, written back unchanged
};

int64_t MtimeNs(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool Same(const Made& m, const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_dev == m.dev && st.st_ino == m.ino &&
           st.st_size == m.size && MtimeNs(st) == m.mtimeNs;
}

// A record we may trust: a regular file of ours that nobody else may change.
int OpenOwn(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 022) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::vector<Made> ReadRecord(const std::string& path, bool& ok) {
    std::vector<Made> out;
    ok = false;
    const int fd = OpenOwn(path, O_RDONLY);
    if (fd < 0) {
        ok = errno == ENOENT;
        return out;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && st.st_size <= kMaxRecordBytes) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
        ok = true;
    }
    ::close(fd);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        Made m;
        m.line = line;
        std::istringstream fields(line);
        std::string group, file;
        if (!(fields >> m.kind >> m.made >> m.dev >> m.ino >> m.size >> m.mtimeNs >> group >>
              file) ||
            !FromHex(group, m.group) || !FromHex(file, m.path))
            m.kind.clear();  // not ours to judge: kept as it is
        out.push_back(std::move(m));
    }
    return out;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Deletes the file of `m` only while it is still the very file made.
bool DeleteMade(const Made& m) {
    const std::string folder = FolderOf(m.path);
    const std::string name = m.path.substr(folder.size());
    if (folder.empty() || name.empty()) return false;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return false;
    struct stat st {};
    const bool ok = ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && Same(m, st) &&
                    ::unlinkat(dir, name.c_str(), 0) == 0;
    ::close(dir);
    return ok;
}

bool WriteRecord(const std::string& path, const std::vector<const Made*>& lines) {
    std::string text;
    for (const Made* m : lines) text += m->line + "\n";
    // A new name of its own (O_EXCL), so nothing already there is ever replaced
    // but the record itself.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
}

}  // namespace

MadeFiles::MadeFiles(std::string storageFolder) {
    if (storageFolder.empty()) return;
    if (storageFolder.back() != '/') storageFolder += '/';
    recordPath_ = storageFolder + kRecordName;
}

bool MadeFiles::Note(const std::string& kind, const std::string& group, const std::string& path,
                     int64_t now) const {
    if (recordPath_.empty() || path.empty() || path[0] != '/') return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::ostringstream line;
    line << kind << ' ' << now << ' ' << st.st_dev << ' ' << st.st_ino << ' ' << st.st_size << ' '
         << MtimeNs(st) << ' ' << Hex(group) << ' ' << Hex(path) << '\n';
    const int fd = OpenOwn(recordPath_, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) return false;
    const std::string text = line.str();
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

std::vector<std::string> MadeFiles::Prune(const std::string& kind, const std::string& folder,
                                          KeepLimits limits, int64_t now) const {
    std::vector<std::string> deleted;
    if (recordPath_.empty() || !limits.Any()) return deleted;
    bool ok = false;
    std::vector<Made> record = ReadRecord(recordPath_, ok);
    if (!ok) return deleted;

    // The groups of this kind in this folder whose files are still those made;
    // a record whose file changed or went is forgotten (never acted upon).
    std::vector<bool> keepLine(record.size(), true);
    // When each group was made: the second of the record, then the file's own
    // time, so that runs within one second still keep their order.
    std::map<std::string, std::pair<int64_t, int64_t>> groupMade;
    for (size_t i = 0; i < record.size(); ++i) {
        const Made& m = record[i];
        if (m.kind != kind || FolderOf(m.path) != folder) continue;
        struct stat st {};
        if (::lstat(m.path.c_str(), &st) != 0 || !Same(m, st)) {
            keepLine[i] = false;
            continue;
        }
        auto [it, fresh] = groupMade.emplace(m.group, std::make_pair(m.made, m.mtimeNs));
        if (!fresh) it->second = std::min(it->second, std::make_pair(m.made, m.mtimeNs));
    }
    std::vector<std::pair<std::pair<int64_t, int64_t>, std::string>> groups;
    for (const auto& [group, made] : groupMade) groups.emplace_back(made, group);
    std::sort(groups.begin(), groups.end(), std::greater<>());  // newest first
    std::map<std::string, bool> drop;
    for (size_t g = 0; g < groups.size(); ++g) {
        const bool tooMany = limits.count > 0 && g >= static_cast<size_t>(limits.count);
        const bool tooOld =
            limits.days > 0 && groups[g].first.first < now - int64_t{limits.days} * 86400;
        if (tooMany || tooOld) drop[groups[g].second] = true;
    }
    for (size_t i = 0; i < record.size(); ++i) {
        const Made& m = record[i];
        if (!keepLine[i] || m.kind != kind || drop.count(m.group) == 0) continue;
        if (FolderOf(m.path) != folder) continue;
        if (DeleteMade(m)) {
            deleted.push_back(m.path);
            keepLine[i] = false;
        }
    }
    if (std::find(keepLine.begin(), keepLine.end(), false) == keepLine.end()) return deleted;
    std::vector<const Made*> lines;
    for (size_t i = 0; i < record.size(); ++i)
        if (keepLine[i]) lines.push_back(&record[i]);
    (void)WriteRecord(recordPath_, lines);
    return deleted;
}
