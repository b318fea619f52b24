#include "log/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

bool AppendTextToFile(const std::string& path, const std::u16string& text) {
    if (path.empty()) return false;
    // O_NOFOLLOW: a link planted in place of the log must not redirect our lines
    // into some other file.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    // One write per line keeps lines from two threads from interleaving.
    const std::string bytes = LogBytes(text);
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
