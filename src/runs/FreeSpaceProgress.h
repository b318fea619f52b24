#pragma once
// How the free-space run shows the filler's progress in the window: the progress
// bar counts kilobytes, the status line says how many megabytes are done.
#include <cstdint>
#include <string>

#include "engine/FillDrive.h"

class RunWindow;

// "<disk text><path> [w / f MB - p %]". With less than 1 MB free the amounts are
// kilobytes (the text still says MB), and a total under 1 KB shows as 1024.
std::u16string FreeSpaceStatusText(const std::u16string& diskText, uint64_t written,
                                   uint64_t freeBytes, const std::u16string& path);

// The filler's notifications as the run turns them into log lines, progress bar
// positions and status texts. The object must outlive the fill.
class FreeSpaceProgress {
  public:
    explicit FreeSpaceProgress(RunWindow& window);
    FillNotifications Notifications();

  private:
    void DriveStarted(uint64_t freeBytes);
    void TempFile(const std::u16string& path);
    void Progress(uint64_t written, uint64_t freeBytes, const std::u16string& path);
    int BarUnits(uint64_t bytes) const;

    RunWindow& window_;
    std::u16string diskText_;
    // Drives of more than 2 TiB would overflow the bar's int range in kilobytes;
    // both bound and position are then scaled down by the same power of two.
    int barShift_ = 0;
};
