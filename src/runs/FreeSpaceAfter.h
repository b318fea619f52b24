#pragma once
// "Then overwrite the free space of these drives": when a file run ends, the free
// space of exactly the drives whose files it overwrote is filled, so that the
// earlier versions of those files (an editor's saves, temporary copies) that lie
// in free space go too. The drives come from the file systems of the files
// themselves, never from the text of their paths.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/MountInfo.h"
#include "runs/FreeSpaceRun.h"

class RunState;
class RunWindow;

// The file systems (st_dev) a file run overwrote data on, each once, in the order met.
class TouchedDrives {
  public:
    void Add(uint64_t device);
    const std::vector<uint64_t>& Devices() const { return devices_; }

  private:
    std::vector<uint64_t> devices_;
};

// The drives to fill for `devices`, as the mounts stand in `table`: a file system
// no longer mounted fails loudly; one in memory has no free space on a disk to
// overwrite and is only named.
struct ChosenFill {
    std::vector<std::u16string> roots;  // mount points, ending with "/"
    AfterFileRun after;                 // devices per root, log lines, failures
};
ChosenFill ChooseDrivesToFill(const std::vector<uint64_t>& devices,
                              const std::vector<MountInfoEntry>& table);

// On the file run's thread, after the file run: fills the drives its files were
// on into the same log, and ends with the outcome of both.
void OverwriteFreeSpaceAfter(RunWindow& window, RunState& state,
                             const std::vector<uint64_t>& devices, RunOutcome fileOutcome);
