#include "platform/MountInfo.h"

#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "platform/Volumes.h"

namespace {

bool Below(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

}  // namespace

std::vector<MountInfoEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountInfoEntry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source ...
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint, options, field;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint >> options)) continue;
        while (fields >> field && field != "-") {
        }
        std::string fsType;
        if (field != "-" || !(fields >> fsType)) continue;
        unsigned major = 0, minor = 0;
        char colon = 0;
        std::istringstream pair(numbers);
        if (!(pair >> major >> colon >> minor) || colon != ':') continue;
        MountInfoEntry e;
        e.device = static_cast<uint64_t>(makedev(major, minor));
        e.root = DecodeMountField(root);
        e.mountPoint = DecodeMountField(mountPoint);
        if (e.mountPoint.size() > 1 && e.mountPoint.back() == '/') e.mountPoint.pop_back();
        e.fsType = fsType;
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<MountInfoEntry> ReadMountInfo() {
    std::ifstream f("/proc/self/mountinfo");
    std::ostringstream ss;
    ss << f.rdbuf();
    return ParseMountInfo(ss.str());
}

const MountInfoEntry* VisibleMountOf(const std::vector<MountInfoEntry>& table, uint64_t device) {
    const MountInfoEntry* found = nullptr;
    for (size_t i = 0; i < table.size(); ++i) {
        const MountInfoEntry& e = table[i];
        if (e.device != device || e.mountPoint.empty() || e.mountPoint[0] != '/') continue;
        // A later mount on the same folder or on one above it covers this one.
        bool hidden = false;
        for (size_t j = i + 1; j < table.size() && !hidden; ++j)
            hidden = Below(e.mountPoint, table[j].mountPoint);
        if (hidden) continue;
        if (e.root == "/") return &e;
        if (!found) found = &e;
    }
    return found;
}
