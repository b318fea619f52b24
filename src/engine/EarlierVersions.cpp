#include "engine/EarlierVersions.h"

#include <algorithm>

bool EarlierVersionsRemain(const std::vector<DriveAfterShred>& drives) {
    return std::any_of(drives.begin(), drives.end(),
                       [](const DriveAfterShred& d) { return !d.inMemory && !d.overwritten; });
}

bool EarlierVersionsRemain(int64_t files, bool freeSpaceAfter) {
    return files > 0 && !freeSpaceAfter;
}
