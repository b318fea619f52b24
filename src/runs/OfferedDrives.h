#pragma once
// The drives the drive dialog offers: every drive of this computer that exists
// as a folder, is not a CD-ROM drive, reports its free space and takes the
// dialog's probe file. Where a user may not create files at a drive's root (an
// unprivileged user and "/"), the drive is offered through a folder of it where
// they may: their home folder, else /var/tmp or /tmp. Every drive not offered
// is named with the reason.
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
};

struct DriveOffer {
    std::vector<OfferedDrive> offered;
    std::vector<LeftOutDrive> leftOut;
};

DriveOffer OfferDrives();
std::vector<OfferedDrive> OfferedDrives();

// The folders where filler files may be: the roots of the drives and the home
// folder (unprivileged fills go there). Used to find leftovers at start-up.
std::vector<std::string> FillFolders();

// The caller's home folder ($HOME, else the password database), ending with "/".
std::string HomeFolder();
