#include "runs/OfferedDrives.h"

#include "engine/FileOps.h"
#include "i18n/SafeFormat.h"
#include "platform/Volumes.h"

std::vector<OfferedDrive> OfferedDrives() {
    std::vector<OfferedDrive> offered;
    FileOps ops;
    for (const std::u16string& root : ListDrives()) {
        if (!ops.IsFolder(root) || QueryDriveType(root) == DriveType::CdRom) continue;
        const DriveSpace space = QueryDriveSpace(root);
        if (!space.ok || !ProbeWritableForDialog(root)) continue;
        const auto mib = static_cast<uint32_t>(space.freeToCaller / 1048576);
        offered.push_back(
            {root, QueryVolumeLabel(root), SafeFormat(std::u16string_view(u"%u"), {mib})});
    }
    return offered;
}
