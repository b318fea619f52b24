#include "cli/PathListSpool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "config/CommandLine.h"
#include "config/TextConv.h"
#include "platform/ConfinedPath.h"
#include "platform/FileSystem.h"
#include "platform/SafeFiles.h"
#include "platform/SystemPlaces.h"

namespace {

constexpr size_t kBlock = 65536;

std::string Shown(const std::string& path) {
    return Utf8FromWide(PrintableText(WideFromUtf8(path)));
}

// A file nobody else can open and no walk can meet: it has no name, and goes
// when the program ends, however it ends.
int PrivateFileWithoutName() {
    const char* dir = std::getenv("TMPDIR");
    const std::string folder = dir && *dir == '/' ? dir : "/tmp";
    return fsys::OpenNamelessFile(folder, "kelvane-list.");
}

}  // namespace

bool PathListSplitter::Feed(std::string_view bytes, const Take& take) {
    while (!bytes.empty()) {
        const size_t end = bytes.find(separator_);
        const std::string_view part = bytes.substr(0, end);
        if (path_.size() + part.size() > kLongest) {
            tooLong_ = true;
            return false;
        }
        path_.append(part);
        if (end == std::string_view::npos) return true;
        bytes.remove_prefix(end + 1);
        if (!path_.empty() && !take(path_)) return false;
        path_.clear();
    }
    return true;
}

bool PathListSplitter::End(const Take& take) {
    const bool ok = path_.empty() || take(path_);
    path_.clear();
    return ok;
}

PathListSpool::~PathListSpool() {
    if (fd_ >= 0) ::close(fd_);
}

bool PathListSpool::Fill(const std::string& source, bool nullSeparated,
                         const std::vector<std::string>& more, std::string& error) {
    fd_ = PrivateFileWithoutName();
    if (fd_ < 0) {
        error = std::string("cannot keep the list of files: ") + std::strerror(errno);
        return false;
    }
    const bool fromStdin = source == "-";
    // A regular file or a pipe ("<(find ...)"); a device or a socket is never opened.
    std::string why;
    const int in = fromStdin ? STDIN_FILENO : fsys::OpenForReading(source, why, true);
    if (in < 0) {
        error = "cannot read the list of files '" + Shown(source) + "': " + why;
        return false;
    }
    PathListSplitter splitter(nullSeparated);
    const PathListSplitter::Take take = [&](const std::string& p) { return Keep(p, error); };
    bool ok = true, readFailed = false;
    char chunk[kBlock];
    while (ok) {
        const ssize_t n = ::read(in, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            readFailed = n < 0;
            ok = !readFailed && splitter.End(take);
            break;
        }
        ok = splitter.Feed(std::string_view(chunk, static_cast<size_t>(n)), take);
    }
    if (!fromStdin) ::close(in);
    if (readFailed) error = "cannot read the list of files '" + Shown(source) + "'";
    if (splitter.TooLong())
        error = "a path in the list of files '" + Shown(source) + "' is longer than " +
                std::to_string(PathListSplitter::kLongest) + " bytes";
    for (size_t i = 0; ok && i < more.size(); ++i) ok = Keep(more[i], error);
    if (ok && !Flush()) {
        error = std::string("cannot keep the list of files: ") + std::strerror(errno);
        ok = false;
    }
    return ok;
}

bool PathListSpool::Keep(const std::string& given, std::string& error) {
    if (EndsInDotOrDotDot(WideFromUtf8(given))) {
        error = DotOperandMessage(WideFromUtf8(given));
        return false;
    }
    struct stat st {};
    fsys::ChosenEntry entry;
    errno = 0;
    if (::lstat(given.c_str(), &st) != 0 || !fsys::LookAtChosen(WideFromUtf8(given), entry)) {
        error = "cannot access '" + Shown(given) +
                "': " + (errno != 0 ? std::strerror(errno) : "not found");
        return false;
    }
    const bool folder =
        entry.guard == fsys::Guard::kAllowed && entry.attr.kind == fsys::Kind::kFolder;
    pending_.push_back(static_cast<char>(folder ? Kind::kFolder : Kind::kEntry));
    pending_ += Utf8FromWide(entry.path);
    pending_.push_back('\0');
    ++count_;
    if (pending_.size() >= kBlock && !Flush()) {
        error = std::string("cannot keep the list of files: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool PathListSpool::Flush() {
    const bool ok = fsys::WriteAll(fd_, pending_);
    pending_.clear();
    return ok;
}

bool PathListSpool::Reader::Next(Kind& kind, std::u16string& path) {
    for (;;) {
        const size_t end = buffer_.find('\0', at_);
        if (end != std::string::npos && end > at_) {
            kind = static_cast<Kind>(buffer_[at_]);
            path = WideFromUtf8(std::string_view(buffer_).substr(at_ + 1, end - at_ - 1));
            at_ = end + 1;
            return true;
        }
        buffer_.erase(0, at_);
        at_ = 0;
        char chunk[kBlock];
        const ssize_t n = ::pread(fd_, chunk, sizeof chunk, offset_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        offset_ += n;
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}
