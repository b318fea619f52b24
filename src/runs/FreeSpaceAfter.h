#pragma once
// "Then overwrite the free space of these drives": when a file run ends, the free
// space of exactly the drives whose files it overwrote is filled, so that the
// earlier versions of those files (an editor's saves, temporary copies) that lie
// in free space go too. The drives come from the file systems of the files
// themselves, never from the text of their paths.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/MetadataFill.h"
#include "platform/MountInfo.h"
#include "runs/FreeSpaceRun.h"

class RunState;
class RunWindow;

// The file systems (st_dev) a file run overwrote data on, each once, in the order
// met; for a btrfs also which one it is, told from the folder of its first file.
class TouchedDrives {
  public:
    struct Btrfs {
        bool known = false;
        fsys::BtrfsId id{};
        std::string folder;
    };
    void Add(uint64_t device, const std::u16string& folder = {});
    const std::vector<uint64_t>& Devices() const { return devices_; }
    const Btrfs& BtrfsOf(size_t i) const { return btrfs_[i]; }

  private:
    std::vector<uint64_t> devices_;
    std::vector<Btrfs> btrfs_;
};

// The drives to fill for `drives`, as the mounts stand in `table`: a file system
// no longer mounted fails loudly; one in memory has no free space on a disk to
// overwrite and is only named. On btrfs every subvolume, the one mounted too, has
// a device number that no mount shows: the mount holding the folder stands for
// it when it is the same btrfs.
struct ChosenFill {
    std::vector<std::u16string> roots;  // mount points, ending with "/"
    AfterFileRun after;                 // devices per root, log lines, failures
};
ChosenFill ChooseDrivesToFill(const TouchedDrives& drives,
                              const std::vector<MountInfoEntry>& table);

// On the file run's thread, after the file run: fills the drives its files were
// on into the same log, and ends with the outcome of both.
void OverwriteFreeSpaceAfter(RunWindow& window, RunState& state, const TouchedDrives& drives,
                             RunOutcome fileOutcome);
