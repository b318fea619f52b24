#include "filelist/TrashRows.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "platform/Platform.h"
#include "runs/RunClock.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"
#include "runs/WorkerThreads.h"

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr size_t kMaxInfoBytes = 64 * 1024;  // far beyond any real one

// The names in the folder `name` of `dir`, never followed if it is a link.
std::vector<std::string> FolderNames(int dir, const char* name, int& fd) {
    std::vector<std::string> out;
    fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return out;
    const int listFd = ::dup(fd);
    DIR* d = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0) ::close(listFd);
        return out;
    }
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    return out;
}

std::string ReadInfo(int infoDir, const std::string& name) {
    const int fd = ::openat(infoDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) <= kMaxInfoBytes) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() < kMaxInfoBytes)
            text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// The last component of an original path, and the folder holding it (ending
// with "/"). Only "/" separates: "\" is a character of a name here.
std::string OwnName(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string FolderPart(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "2004-08-31T22:32:08" as the list shows dates.
std::u16string DateText(const std::string& date) {
    std::string shown = date;
    if (shown.size() > 10 && shown[10] == 'T') shown[10] = ' ';
    return WideFromUtf8(shown);
}

}  // namespace

TrashInfo ParseTrashInfo(std::string_view text, const std::string& topDir) {
    TrashInfo out;
    bool inGroup = false;
    bool seenGroup = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inGroup = line == "[Trash Info]" && !seenGroup;
            seenGroup = seenGroup || inGroup;
            continue;
        }
        if (!inGroup) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
        std::string_view value = line.substr(eq + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        if (key == "Path" && !out.valid && !value.empty()) {
            out.path = fsys::PercentDecode(value);
            if (out.path.front() != '/') {
                std::string top = topDir.empty() ? std::string("/") : topDir;
                if (top.back() != '/') top.push_back('/');
                out.path = top + out.path;
            }
            out.valid = true;
        } else if (key == "DeletionDate" && out.deletionDate.empty()) {
            out.deletionDate = std::string(value);
        }
    }
    return out;
}

std::vector<TrashItem> ListTrashItems(const fsys::TrashFolder& trash) {
    std::vector<TrashItem> out;
    const int dir = ::open(trash.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return out;
    struct stat st {};
    if (::fstat(dir, &st) != 0 || fsys::Identity{st.st_dev, st.st_ino} != trash.identity) {
        ::close(dir);
        return out;
    }
    std::map<std::string, TrashItem> items;
    int filesFd = -1;
    for (const std::string& name : FolderNames(dir, "files", filesFd)) {
        TrashItem& item = items[name];
        item.name = name;
        item.hasItem = true;
        struct stat is {};
        item.isFolder =
            ::fstatat(filesFd, name.c_str(), &is, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(is.st_mode);
    }
    int infoFd = -1;
    for (const std::string& file : FolderNames(dir, "info", infoFd)) {
        if (file.size() <= kInfoSuffix.size() ||
            file.compare(file.size() - kInfoSuffix.size(), kInfoSuffix.size(), kInfoSuffix) != 0)
            continue;  // not a trash's info file: not ours to shred
        const std::string name = file.substr(0, file.size() - kInfoSuffix.size());
        TrashItem& item = items[name];
        item.name = name;
        item.hasInfo = true;
        item.info = ParseTrashInfo(ReadInfo(infoFd, file), trash.topDir);
    }
    if (filesFd >= 0) ::close(filesFd);
    if (infoFd >= 0) ::close(infoFd);
    ::close(dir);
    for (auto& [name, item] : items) out.push_back(std::move(item));
    return out;
}

int ListTrashRows(RunWindow& window, RunState& state,
                  const std::vector<fsys::TrashFolder>& trashes) {
    FileRowSeries rows(window);
    std::vector<std::pair<std::u16string, std::u16string>> origins;
    for (const fsys::TrashFolder& trash : trashes) {
        if (state.stop.load()) {
            state.expansionStopped.store(true);
            break;
        }
        const std::u16string root = WideFromUtf8(trash.path);
        // Recorded before any row shows: no run may see a row without its trash.
        std::vector<fsys::Identity> kept{trash.identity};
        for (const char* sub : {"files", "info"}) {
            struct stat st {};
            if (::lstat((trash.path + sub).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                kept.push_back({st.st_dev, st.st_ino});
        }
        state.chosenRoots.Add({root, trash.identity});
        state.trash.Add({root, trash.identity}, kept);

        for (const TrashItem& item : ListTrashItems(trash)) {
            const std::u16string itemPath = root + u"files/" + WideFromUtf8(item.name);
            const std::u16string infoPath =
                root + u"info/" + WideFromUtf8(item.name) + u".trashinfo";
            // The item's own name, as it was before it went to the trash; where it
            // was is the row's origin (its tool tip).
            const std::u16string shown =
                WideFromUtf8(item.info.valid ? OwnName(item.info.path) : item.name);
            const std::u16string date = DateText(item.info.deletionDate);
            if (item.hasItem && item.info.valid)
                origins.push_back({item.isFolder ? itemPath + u"/" : itemPath,
                                   WideFromUtf8(FolderPart(item.info.path))});
            if (item.hasItem && item.isFolder) {
                ExpandFolder(rows, state, itemPath + u"/", shown);
            } else if (item.hasItem) {
                struct stat st {};
                const std::string p = Utf8FromWide(itemPath);
                const long long size =
                    ::lstat(p.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
                rows.AddRow({shown, WideFromUtf8(std::to_string(size)), date.empty() ? u"-" : date,
                             itemPath});
            }
            // The info goes with its item (a run shreds it right after the item);
            // only an info whose item is missing is a row of its own.
            if (item.hasInfo && !item.hasItem) {
                rows.AddRow({shown + u" (.trashinfo)", u"0", date.empty() ? u"-" : date, infoPath});
            }
            if (!item.hasInfo)
                state.trash.AddNote(itemPath + u" [in the trash without its .trashinfo]");
            if (!item.hasItem) state.trash.AddNote(infoPath + u" [.trashinfo without its item]");
            if (item.hasInfo && !item.info.valid)
                state.trash.AddNote(infoPath + u" [.trashinfo names no path]");
        }
    }
    rows.Flush();
    if (!origins.empty()) window.NoteRowOrigins(origins);
    UpdateFileCount(window);
    return static_cast<int>(trashes.size());
}

int ListTrashRows(RunWindow& window, RunState& state) {
    return ListTrashRows(window, state, fsys::FindUserTrashFolders());
}

bool StartTrashListing(WorkerThreads& threads, RunWindow& window, RunState& state) {
    state.stop.store(false);
    state.expansionStopped.store(false);
    window.LockForRun();
    state.startTime.store(Platform().now());
    StartRunClock(threads, window, state);
    threads.Start([&window, &state] {
        (void)ListTrashRows(window, state);
        window.UnlockAfterRun();
        state.stop.store(true);
        state.WakeWaiters();
    });
    return true;
}
