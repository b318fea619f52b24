#pragma once
// The drives the drive dialog offers: every drive of this computer that exists
// as a folder, is not a CD-ROM drive, reports its free space and takes the
// dialog's probe file. Where a user may not create files at a drive's root (an
// unprivileged user and "/"), the drive is offered through a folder of it where
// they may: their home folder, else /var/tmp or /tmp. Every drive not offered
// is named with the reason.
//
// FillFolders and HomeFolder touch no drive; OfferDrives does, within a bound.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct OfferedDrive {
    std::u16string root;     // where the fill goes; ends with "/"
    std::u16string label;    // volume label, may be empty
    std::u16string freeMiB;  // free bytes the caller can fill / 1048576, "%u"
};

struct LeftOutDrive {
    std::u16string root;
    std::u16string reason;
    bool notAnswering = false;  // gave no answer within the bound
    // The reason for a window in its language: a key, filled with `detail` where
    // it holds a "%s".
    std::string reasonKey;
    std::u16string detail;
};

struct DriveOffer {
    std::vector<OfferedDrive> offered;
    std::vector<LeftOutDrive> leftOut;
};

// Each drive is looked at on a thread of its own; one that has not answered within
// `bound` (a dead network or FUSE mount) is left out as "not answering".
DriveOffer OfferDrives();
DriveOffer OfferDrives(std::chrono::milliseconds bound);
std::vector<OfferedDrive> OfferedDrives();

// The caller's home folder ($HOME, else the password database), ending with "/".
std::string HomeFolder();
