#include "runs/OfferedDrives.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "i18n/SafeFormat.h"
#include "platform/BoundedCall.h"
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

namespace {

// What one look at a drive found: offered (where the fill goes) or left out.
struct DriveLook {
    bool offered = false;
    OfferedDrive drive;
    std::u16string reason;
    std::string reasonKey;
    std::u16string detail;
};

DriveLook LookAtDrive(const std::u16string& root, bool reserve) {
    DriveLook look;
    look.drive.root = root;
    if (!FileOps().IsFolder(root)) {
        look.reason = u"not a folder";
        look.reasonKey = "FrmDrive.m_acMNotAFolder";
        return look;
    }
    if (QueryDriveType(root) == DriveType::CdRom) {
        look.reason = u"read-only";
        look.reasonKey = "FrmDrive.m_acMReadOnly";
        return look;
    }
    const DriveSpace space = QueryDriveSpace(root);
    if (!space.ok) {
        look.reason = u"free space unknown";
        look.reasonKey = "FrmDrive.m_acMSpaceUnknown";
        return look;
    }
    if (const int err = ProbeCreateFile(root, kDialogProbeName); err != 0) {
        const std::string folder = WritableFolderOn(Utf8FromWide(root));
        if (folder.empty()) {
            look.detail = WideFromUtf8(std::strerror(err));
            look.reason = u"cannot create files: " + look.detail;
            look.reasonKey = "FrmDrive.m_acMCannotCreate";
            return look;
        }
        look.drive.root = WideFromUtf8(folder);
    }
    const uint64_t free = reserve ? space.totalFree : space.freeToCaller;
    const auto mib = static_cast<uint32_t>(free / 1048576);
    look.drive.label = QueryVolumeLabel(root);
    look.drive.freeMiB = SafeFormat(std::u16string_view(u"%u"), {mib});
    look.offered = true;
    return look;
}

}  // namespace

DriveOffer OfferDrives() {
    return OfferDrives(bounded::kAnswerBound);
}

DriveOffer OfferDrives(std::chrono::milliseconds bound) {
    const std::vector<std::u16string> roots = ListDrives();
    const bool reserve = FillSystem().mayUseRootReserve && FillSystem().mayUseRootReserve();
    // Every drive is looked at on a thread of its own, all at once: one that does
    // not answer holds up neither the others nor the caller past the bound.
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<std::optional<DriveLook>> looks;
        size_t left = 0;
    };
    auto shared = std::make_shared<Shared>();
    shared->looks.resize(roots.size());
    shared->left = roots.size();
    for (size_t i = 0; i < roots.size(); ++i) {
        bounded::Start([shared, i, root = roots[i], reserve] {
            DriveLook look = LookAtDrive(root, reserve);
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->looks[i] = std::move(look);
            --shared->left;
            shared->cv.notify_all();
        });
    }
    std::vector<std::optional<DriveLook>> looks;
    {
        std::unique_lock<std::mutex> lock(shared->mutex);
        shared->cv.wait_for(lock, bound, [&] { return shared->left == 0; });
        looks = shared->looks;
    }
    DriveOffer offer;
    std::set<std::u16string> seen;
    for (size_t i = 0; i < roots.size(); ++i) {
        if (!looks[i]) {
            offer.leftOut.push_back({roots[i], u"not answering", true, {}, {}});
        } else if (!looks[i]->offered) {
            offer.leftOut.push_back(
                {roots[i], looks[i]->reason, false, looks[i]->reasonKey, looks[i]->detail});
        } else if (seen.insert(looks[i]->drive.root).second) {
            offer.offered.push_back(looks[i]->drive);
        }
    }
    return offer;
}

std::vector<OfferedDrive> OfferedDrives() {
    return OfferDrives().offered;
}
