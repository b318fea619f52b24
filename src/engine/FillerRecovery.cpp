#include "engine/FillerRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

namespace {

constexpr int kMinDigits = 4;

std::string AsFolder(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

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

}  // namespace

bool IsFillerName(std::string_view fileName, std::string_view tempName) {
    if (tempName.empty() || fileName.size() < tempName.size() + kMinDigits ||
        fileName.substr(0, tempName.size()) != tempName)
        return false;
    const std::string_view digits = fileName.substr(tempName.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<FillerFile> RemoveFillerFiles(const std::string& givenFolder,
                                          const std::string& tempName) {
    std::vector<FillerFile> found;
    const std::string folder = AsFolder(givenFolder);
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return found;
    DIR* dir = ::fdopendir(dfd);
    if (!dir) {
        ::close(dfd);
        return found;
    }
    const uid_t me = ::geteuid();
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir))
        if (IsFillerName(e->d_name, tempName)) names.emplace_back(e->d_name);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != me)
            continue;
        FillerFile f{folder + name, static_cast<uint64_t>(st.st_size), 0};
        if (::unlinkat(dfd, name.c_str(), 0) != 0) f.error = errno;
        found.push_back(std::move(f));
    }
    ::closedir(dir);
    return found;
}

std::string FillRecordPath(const std::string& storageFolder) {
    return AsFolder(storageFolder) + "FreeSpaceRun.record";
}

// One record per line would break on names holding a line feed: each field
// ends with a zero byte instead.
bool AddFillRecord(const std::string& recordPath, const std::string& folder,
                   const std::string& tempName) {
    for (const auto& r : ReadFillRecord(recordPath))
        if (r.first == folder && r.second == tempName) return true;
    int fd =
        ::open(recordPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string entry = folder;
    entry.push_back('\0');
    entry += tempName;
    entry.push_back('\0');
    const bool ok = ::write(fd, entry.data(), entry.size()) == static_cast<ssize_t>(entry.size()) &&
                    ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::vector<std::pair<std::string, std::string>> ReadFillRecord(const std::string& recordPath) {
    std::vector<std::pair<std::string, std::string>> records;
    int fd = ::open(recordPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return records;
    std::string text;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd, text);
    ::close(fd);
    if (!ok) return records;
    std::vector<std::string> fields;
    for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
        fields.push_back(text.substr(at, end - at));
    for (size_t i = 0; i + 1 < fields.size(); i += 2)
        if (!fields[i].empty() && !fields[i + 1].empty())
            records.emplace_back(fields[i], fields[i + 1]);
    return records;
}

void ClearFillRecord(const std::string& recordPath) {
    ::unlink(recordPath.c_str());
}

std::vector<FillerFile> RecoverFillers(const std::string& recordPath, const std::string& tempName,
                                       const std::vector<std::string>& folders) {
    std::vector<std::pair<std::string, std::string>> look = ReadFillRecord(recordPath);
    const bool recorded = !look.empty();
    if (!tempName.empty())
        for (const std::string& f : folders) look.emplace_back(AsFolder(f), tempName);
    std::vector<FillerFile> all;
    std::set<std::pair<std::string, std::string>> seen;
    for (auto& [folder, name] : look) {
        if (!seen.insert({AsFolder(folder), name}).second) continue;
        for (FillerFile& f : RemoveFillerFiles(folder, name)) all.push_back(std::move(f));
    }
    const bool allGone =
        std::none_of(all.begin(), all.end(), [](const FillerFile& f) { return f.error != 0; });
    if (recorded && allGone) ClearFillRecord(recordPath);
    return all;
}
