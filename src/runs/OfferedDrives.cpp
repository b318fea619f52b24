#include "runs/OfferedDrives.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "i18n/SafeFormat.h"
#include "platform/FillSystem.h"
#include "platform/Volumes.h"

namespace {

std::string AsFolder(std::string path) {
    if (!path.empty() && path.back() != '/') path.push_back('/');
    return path;
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// A folder on the file system of `root` where the caller can create a file.
std::string WritableFolderOn(const std::string& root) {
    for (std::string folder : {HomeFolder(), std::string("/var/tmp/"), std::string("/tmp/")}) {
        if (folder.empty() || folder == root || !SameFileSystem(folder, root)) continue;
        if (ProbeWritableForDialog(WideFromUtf8(folder))) return folder;
    }
    return {};
}

}  // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home == '/') return AsFolder(home);
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return AsFolder(pw->pw_dir);
    return {};
}

DriveOffer OfferDrives() {
    DriveOffer offer;
    FileOps ops;
    std::set<std::u16string> seen;
    const bool reserve = FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve();
    for (const std::u16string& root : ListDrives()) {
        auto leaveOut = [&](const std::u16string& reason) {
            offer.leftOut.push_back({root, reason});
        };
        if (!ops.IsFolder(root)) {
            leaveOut(u"not a folder");
            continue;
        }
        if (QueryDriveType(root) == DriveType::CdRom) {
            leaveOut(u"read-only");
            continue;
        }
        const DriveSpace space = QueryDriveSpace(root);
        if (!space.ok) {
            leaveOut(u"free space unknown");
            continue;
        }
        std::u16string where = root;
        if (const int err = ProbeCreateFile(root, kDialogProbeName); err != 0) {
            const std::string folder = WritableFolderOn(Utf8FromWide(root));
            if (folder.empty()) {
                leaveOut(u"cannot create files: " + WideFromUtf8(std::strerror(err)));
                continue;
            }
            where = WideFromUtf8(folder);
        }
        if (!seen.insert(where).second) continue;
        const uint64_t free = reserve ? space.totalFree : space.freeToCaller;
        const auto mib = static_cast<uint32_t>(free / 1048576);
        offer.offered.push_back(
            {where, QueryVolumeLabel(root), SafeFormat(std::u16string_view(u"%u"), {mib})});
    }
    return offer;
}

std::vector<OfferedDrive> OfferedDrives() {
    return OfferDrives().offered;
}

std::vector<std::string> FillFolders() {
    std::vector<std::string> folders;
    for (const std::u16string& root : ListDrives()) folders.push_back(Utf8FromWide(root));
    if (::geteuid() != 0) {
        const std::string home = HomeFolder();
        if (!home.empty()) folders.push_back(home);
    }
    return folders;
}
