#include "log/ShredLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "config/TextConv.h"
#include "log/LogFile.h"
#include "log/LogLines.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"

namespace {

// More runs than this in one second would be an odd thing to archive; past it the
// old log stays where it is rather than being deleted.
constexpr int kMaxArchiveAttempts = 100;

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Renames without ever replacing an existing file. Returns 0 or an errno value.
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    return fsys::LinkAndUnlinkAt(AT_FDCWD, from, to) ? 0 : errno;
}

// Takes the group's and others' permissions from a log file (an older version
// wrote them 0644), so its archive copy is private like every new log.
void MakePrivate(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        (void)::fchmod(fd, st.st_mode & 07700);
    ::close(fd);
}

std::tm LocalNow() {
    int64_t now = Platform().now ? Platform().now() : static_cast<int64_t>(std::time(nullptr));
    std::time_t tt = static_cast<std::time_t>(now);
    std::tm t{};
    if (!::localtime_r(&tt, &t)) t = std::tm{};
    return t;
}

}  // namespace

void ShredLog::SetStorageFolder(const std::string& folder) {
    folder_ = folder;
    if (!folder_.empty() && folder_.back() != '/') folder_.push_back('/');
    // No storage folder (none found, or one we would not trust): no log at all,
    // not one in whatever the working folder happens to be.
    logPath_ = folder_.empty() ? std::string() : folder_ + kBaseName + kExtension;
}

bool ShredLog::AppendOwnText(const std::u16string& text) const {
    if (!switches_.LogEnabled()) return false;
    return AppendTextToFile(logPath_, text);
}

bool ShredLog::AppendLog(const std::u16string& text) const {
    return AppendOwnText(PrintableText(text));
}

bool ShredLog::AppendLogLines(const std::vector<std::u16string>& lines) const {
    if (!switches_.LogEnabled() || lines.empty()) return false;
    std::vector<std::u16string> printable;
    printable.reserve(lines.size());
    for (const std::u16string& line : lines) printable.push_back(PrintableText(line));
    return AppendLinesToFile(logPath_, printable);
}

bool ShredLog::AppendRunHeader(std::u16string_view title) const {
    return AppendOwnText(RunLogHeaderText(PrintableText(title)));
}

std::string ShredLog::ArchivePath(const std::string& folder, const std::tm& t, int attempt) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string path = folder + kBaseName + stamp;
    if (attempt > 1) path += "_" + std::to_string(attempt);
    return path + kExtension;
}

std::u16string ShredLog::TimeStampLine(const std::tm& t) {
    char line[64];
    std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d\r\n", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return WideFromUtf8(line);
}

bool ShredLog::ArchiveOldLog(const std::tm& t) const {
    MakePrivate(logPath_);
    for (int attempt = 1; attempt <= kMaxArchiveAttempts; ++attempt) {
        const std::string archive = ArchivePath(folder_, t, attempt);
        int err = RenameNoReplace(logPath_, archive);
        if (err == 0) {
            const int64_t now = Platform().now ? Platform().now() : std::time(nullptr);
            const MadeFiles made(folder_);
            (void)made.Note("log", archive, archive, now);
            (void)made.Prune("log", folder_, archiveLimits_, now);
            return true;
        }
        if (err != EEXIST) return false;
    }
    return false;
}

void ShredLog::BeginRunLog() const {
    if (logPath_.empty()) return;
    const std::tm t = LocalNow();
    bool keepOld = false;
    if (switches_.ArchiveEnabled() && IsRegularFile(logPath_)) {
        // Only a log whose archive copy could not be made at all is kept in place;
        // the new run then appends after it instead of destroying it.
        keepOld = !ArchiveOldLog(t) && IsRegularFile(logPath_);
    }
    if (!keepOld) ::unlink(logPath_.c_str());
    AppendOwnText(TimeStampLine(t));
    WriteCarried();
}

void ShredLog::CarryToNextRun(const std::vector<std::u16string>& lines) const {
    std::lock_guard<std::mutex> lock(carriedMutex_);
    carried_.insert(carried_.end(), lines.begin(), lines.end());
}

std::vector<std::u16string> ShredLog::TakeCarried() const {
    std::lock_guard<std::mutex> lock(carriedMutex_);
    return std::exchange(carried_, {});
}

void ShredLog::WriteCarried() const {
    const std::vector<std::u16string> lines = TakeCarried();
    if (!lines.empty() && !logPath_.empty()) AppendLogLines(lines);
}

bool ShredLog::ReadForViewing(std::u16string& text, bool& truncated) const {
    text.clear();
    truncated = false;
    std::string bytes;
    if (logPath_.empty() || !ReadLogTail(logPath_, kMaxViewedBytes, bytes, truncated)) return false;
    text = ReadableLogText(bytes);
    return true;
}
