#include "report/ReportSpool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSystem.h"

namespace {

constexpr size_t kBuffered = 64 << 10;

}  // namespace

ReportSpool::~ReportSpool() {
    if (fd_ >= 0) ::close(fd_);
}

bool ReportSpool::Open(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        const int fd = fsys::OpenNamelessFile(folder, ".kelvane-report-part-");
        if (fd < 0) continue;
        fd_ = fd;
        return true;
    }
    return false;
}

void ReportSpool::Append(std::string_view text) {
    if (!Good()) return;
    buffer_.append(text);
    if (buffer_.size() >= kBuffered) (void)Flush();
}

bool ReportSpool::Flush() {
    if (!Good()) return false;
    if (!fsys::WriteAll(fd_, buffer_)) good_ = false;
    written_ += buffer_.size();
    buffer_.clear();
    buffer_.shrink_to_fit();
    return good_;
}

bool ReportSpool::ReadBack(const std::function<bool(std::string_view)>& sink) const {
    if (!Good() || !buffer_.empty()) return false;
    std::string chunk(kBuffered, '\0');
    uint64_t at = 0;
    while (at < written_) {
        const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        const size_t len =
            static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), written_ - at));
        if (!sink(std::string_view(chunk.data(), len))) return false;
        at += len;
    }
    return true;
}
