#pragma once
// Which rows of a file run go to the pool of files at once (see ShredPool), and
// how many it takes.
#include <cstdint>
#include <map>
#include <string>

#include "platform/ConfinedPath.h"

// The run hands the pool at most two rows per file under way, and at most
// kPoolMaxHandedBytes as listed: what is handed over is finished after a Stop
// too, so it must not take long.
inline constexpr int kPoolThreads = 8;
inline constexpr size_t kPoolQueuePerThread = 2;
// Larger files are bound by the device's throughput, which files at once do not
// raise: they are shredded one at a time.
inline constexpr int64_t kPoolMaxBytes = 1 << 20;
inline constexpr int64_t kPoolMaxHandedBytes = 4 * kPoolMaxBytes;

struct PoolSetting {
    int files = kPoolThreads;
    bool chosen = false;  // set in the environment: used on any file system
};
// KELVANE_FILES_AT_ONCE (1 to 16) sets the number, for measuring; 1 is no pool.
PoolSetting FilesAtOnce();

// The size column as bytes; -1 where it holds no number.
int64_t ListedBytes(const std::u16string& listed);

// The listed size of a file row the pool may take, or -1. Not when the holding
// folder has to be unlocked for each file (two files of a folder would each put
// back the mode the other set), and not when scrambled names are all zeros (two
// files of a folder would want the same name).
int64_t PoolSize(bool unlocksFolders, bool sameScrambledNames, const std::u16string& listedSize);

// Files at once pay where the device makes each pass wait for its sync; on a
// file system in memory nothing waits, and one at a time is as fast.
class PoolPlaces {
  public:
    bool Pays(const fsys::Root& root, const std::u16string& path);

  private:
    std::map<std::u16string, bool> known_;
};
