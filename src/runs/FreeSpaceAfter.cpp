#include "runs/FreeSpaceAfter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/FileSystem.h"
#include "platform/MetadataFill.h"
#include "platform/Volumes.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

namespace {

// A visible mount of the btrfs `id`: the one deepest on the way to `folder` when
// there is one, else the first; `device` becomes what its folder shows.
const MountInfoEntry* MountOfBtrfs(const std::vector<MountInfoEntry>& table,
                                   const fsys::BtrfsId& id, const std::string& folder,
                                   uint64_t& device) {
    const MountInfoEntry* best = nullptr;
    size_t bestRank = 0;
    uint64_t bestDevice = 0;
    for (const MountInfoEntry& m : table) {
        if (m.fsType != "btrfs" || VisibleMountOf(table, m.device) != &m) continue;
        // A mount holding the folder ranks by depth; any other ranks last.
        const bool holds = m.mountPoint == "/" || folder.rfind(m.mountPoint + "/", 0) == 0;
        const size_t rank = holds ? m.mountPoint.size() + 1 : 0;
        if (best && bestRank >= rank) continue;
        const int at = ::open(m.mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (at < 0) continue;
        fsys::BtrfsId other{};
        struct stat st {};
        // The table shows the device of the btrfs as a whole; the folder
        // mounted has one of its own, which is what the fill will see there.
        if (fsys::BtrfsFsid(at, other) && other == id && ::fstat(at, &st) == 0) {
            best = &m;
            bestRank = rank;
            bestDevice = st.st_dev;
        }
        ::close(at);
    }
    if (best) device = bestDevice;
    return best;
}

}  // namespace

void TouchedDrives::Add(uint64_t device, const std::u16string& folder) {
    if (device == 0 || std::find(devices_.begin(), devices_.end(), device) != devices_.end())
        return;
    devices_.push_back(device);
    Btrfs b;
    // Told now, while the folder is there: the run may remove it.
    if (!folder.empty() && fsys::OsPath(folder, b.folder)) {
        const int fd = ::open(b.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        b.known =
            fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == device && fsys::BtrfsFsid(fd, b.id);
        if (fd >= 0) ::close(fd);
    }
    btrfs_.push_back(std::move(b));
}

ChosenFill ChooseDrivesToFill(const TouchedDrives& drives,
                              const std::vector<MountInfoEntry>& table) {
    ChosenFill out;
    for (size_t i = 0; i < drives.Devices().size(); ++i) {
        uint64_t device = drives.Devices()[i];
        const MountInfoEntry* mount = VisibleMountOf(table, device);
        const TouchedDrives::Btrfs& b = drives.BtrfsOf(i);
        if (!mount && b.known) mount = MountOfBtrfs(table, b.id, b.folder, device);
        if (!mount) {
            // Unmounted since, or reached only through a part of it that is not
            // mounted on its own: nothing here can say where its free space is.
            out.after.lines.push_back(
                SafeFormat(std::u16string_view(u"device %u:%u [FAILED!] no longer mounted"),
                           {static_cast<int>(major(device)), static_cast<int>(minor(device))}));
            out.after.anyFailed = true;
            continue;
        }
        const std::u16string root =
            WideFromUtf8(mount->mountPoint == "/" ? "/" : mount->mountPoint + "/");
        if (std::find(out.roots.begin(), out.roots.end(), root) != out.roots.end()) continue;
        if (mount->fsType == "tmpfs" || mount->fsType == "ramfs") {
            // Its "free space" is the computer's memory: filling it would push
            // everything else out, and no disk holds what was there.
            out.after.lines.push_back(SafeFormat(
                std::u16string_view(u"%s [free space not overwritten: a file system in memory]"),
                {root}));
            continue;
        }
        out.roots.push_back(root);
        out.after.devices.push_back(device);
    }
    return out;
}

void OverwriteFreeSpaceAfter(RunWindow& window, RunState& state, const TouchedDrives& drives,
                             RunOutcome fileOutcome) {
    ChosenFill chosen = ChooseDrivesToFill(drives, ReadMountInfo());
    chosen.after.fileOutcome = fileOutcome;
    state.drivesTable.SetSize(1, 0);
    for (const std::u16string& root : chosen.roots) state.drivesTable.AppendRow(Utf8FromWide(root));
    window.FillingFreeSpaceOf(chosen.roots);
    FillDrivesOfTable(window, state, &chosen.after);
}
