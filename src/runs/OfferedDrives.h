#pragma once
// The drives the drive dialog offers: every drive of this computer that exists
// as a folder, is not a CD-ROM drive, reports its free space and takes the
// dialog's probe file.
#include <cstdint>
#include <string>
#include <vector>

struct OfferedDrive {
    std::u16string root;     // ends with "/"
    std::u16string label;    // volume label, may be empty
    std::u16string freeMiB;  // free bytes for the caller / 1048576, "%u"
};

std::vector<OfferedDrive> OfferedDrives();
