#pragma once
// The log line that ends each drive of a free-space run: "[done]" with the
// bytes written, or "[FAILED!]" with the reason.
#include <string>

#include "engine/FillDrive.h"

std::u16string FillOutcomeLine(const std::u16string& root, const FillOutcome& outcome);

// For a folder that is not the root of its file system: the line that names the
// drive holding it ("/srv/x/ is a folder on /dev/sda2 mounted at /srv (12.5 GB
// free): the free space of that whole drive is filled"); empty for a mount point
// or a folder that cannot be looked at. A fill of a folder fills its drive, and
// a person who chose a folder must be told so before, not after.
std::u16string DriveOfFolderLine(const std::u16string& root);
// Whether `line` is the DriveOfFolderLine of `root`.
bool IsDriveOfFolderLine(std::u16string_view line, const std::u16string& root);

// "12.5 GB", "800 MB", "4 KB".
std::u16string ByteAmountText(uint64_t bytes);
