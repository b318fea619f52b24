#pragma once
// The small-object phase of a fill: once the big files met a full disk, small
// files take what only small objects can still get (the last blocks below the
// big files' allocation unit, data slots inside inodes), and empty files with
// long names take the place of deleted folder entries at the root. Bounded in
// count and time: it must never try to use up the inodes of a large drive.
#include <atomic>
#include <cstdint>
#include <string>

class FillBlock;
class FillRun;
class HeldDrive;

struct SmallFillOutcome {
    uint32_t files = 0;
    uint64_t bytes = 0;
    uint32_t longNames = 0;
    int error = 0;  // a failure other than a full disk
};

inline constexpr uint32_t kMaxSmallFiles = 4096;
inline constexpr uint32_t kMaxLongNames = 256;
inline constexpr int kSmallPhaseMillis = 3000;

// Files are named like the big ones, made in the held drive (`root` is its path
// for the names), and listed in run.tempFiles and the run's record.
SmallFillOutcome FillSmallObjects(const HeldDrive& drive, const std::u16string& root,
                                  const std::u16string& tempName, FillRun& run, uint64_t fsBlock,
                                  const std::atomic<bool>& stop);
