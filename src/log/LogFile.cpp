#include "log/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "config/TextConv.h"

std::string LogBytes(const std::u16string& text) {
    std::string bytes;
    bytes.reserve((text.size() + 2) * 2);
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    };
    for (char16_t unit : text) put(unit);
    put(u'\r');
    put(u'\n');
    return bytes;
}

namespace {

// Asked for every line of a run; the program never changes its user.
uid_t EffectiveUser() {
    static const uid_t user = ::geteuid();
    return user;
}

}  // namespace

bool AppendTextToFile(const std::string& path, const std::u16string& text) {
    return AppendLinesToFile(path, {text});
}

bool AppendLinesToFile(const std::string& path, const std::vector<std::u16string>& lines) {
    if (path.empty()) return false;
    // O_NOFOLLOW: a link planted in place of the log must not redirect our lines
    // into some other file. The log lists the names of everything shredded, so it
    // is for its owner's eyes only; a log left readable by others (an older
    // version made it 0644) loses those bits, a stricter one keeps its mode.
    // O_NONBLOCK: a FIFO put there is refused below, never waited on.
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                    0600);
    if (fd < 0) return false;
    // A log that another user owns (or that stays open to others) is not ours to
    // write into: it would carry our lines to them.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (st.st_uid != EffectiveUser() && st.st_uid != 0) ||
        ((st.st_mode & 077) != 0 && ::fchmod(fd, st.st_mode & 07700) != 0)) {
        ::close(fd);
        return false;
    }
    // One write for all the lines keeps lines from two threads from interleaving.
    std::string bytes;
    for (const std::u16string& line : lines) bytes += LogBytes(line);
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    return ok;
}

std::u16string ReadableLogText(std::string_view bytes) {
    std::u16string out;
    std::u16string line;
    out.reserve(bytes.size() / 2);
    auto endLine = [&out, &line] {
        out += PrintableStoredText(line);
        line.clear();
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == u'\n') {
            if (!line.empty() && line.back() == u'\r') line.pop_back();
            endLine();
            out.push_back(u'\n');
        } else {
            line.push_back(unit);
        }
    }
    endLine();
    return out;
}

bool ReadLogTail(const std::string& path, size_t maxBytes, std::string& bytes, bool& truncated) {
    bytes.clear();
    truncated = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    off_t start = 0;
    if (ok && static_cast<uint64_t>(st.st_size) > maxBytes) {
        // An even offset keeps the UTF-16 units in step.
        start = (st.st_size - static_cast<off_t>(maxBytes)) & ~off_t{1};
        truncated = true;
    }
    char buf[65536];
    for (off_t at = start; ok;) {
        ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0 || bytes.size() >= maxBytes) break;
        bytes.append(buf, static_cast<size_t>(n));
        at += n;
    }
    ::close(fd);
    if (!ok) {
        bytes.clear();
        return false;
    }
    if (truncated) {
        // Begin after the first whole line break, so no line shows cut in two.
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\n' && bytes[i + 1] == '\0') {
                bytes.erase(0, i + 2);
                break;
            }
        }
    }
    return true;
}
