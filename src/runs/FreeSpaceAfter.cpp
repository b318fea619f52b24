#include "runs/FreeSpaceAfter.h"

#include <sys/sysmacros.h>

#include <algorithm>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/Volumes.h"
#include "runs/RunState.h"
#include "runs/RunWindow.h"

void TouchedDrives::Add(uint64_t device) {
    if (device == 0 || std::find(devices_.begin(), devices_.end(), device) != devices_.end())
        return;
    devices_.push_back(device);
}

ChosenFill ChooseDrivesToFill(const std::vector<uint64_t>& devices,
                              const std::vector<MountInfoEntry>& table) {
    ChosenFill out;
    for (uint64_t device : devices) {
        const MountInfoEntry* mount = VisibleMountOf(table, device);
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

void OverwriteFreeSpaceAfter(RunWindow& window, RunState& state,
                             const std::vector<uint64_t>& devices, RunOutcome fileOutcome) {
    ChosenFill chosen = ChooseDrivesToFill(devices, ReadMountInfo());
    chosen.after.fileOutcome = fileOutcome;
    state.drivesTable.SetSize(1, 0);
    for (const std::u16string& root : chosen.roots) state.drivesTable.AppendRow(Utf8FromWide(root));
    window.FillingFreeSpaceOf(chosen.roots);
    FillDrivesOfTable(window, state, &chosen.after);
}
