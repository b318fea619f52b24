#pragma once
// The mounts of this process with the file system (device number) of each, from
// /proc/self/mountinfo: the way from a file's st_dev to the folder its drive is
// mounted at, without looking at any path the file had.
#include <cstdint>
#include <string>
#include <vector>

struct MountInfoEntry {
    uint64_t device = 0;     // st_dev of what is mounted
    std::string root;        // the folder of the file system mounted ("/": all of it)
    std::string mountPoint;  // decoded, without a trailing "/" (but "/" itself)
    std::string fsType;
};

// Parses the text of /proc/self/mountinfo; lines it cannot read are left out.
std::vector<MountInfoEntry> ParseMountInfo(const std::string& text);
std::vector<MountInfoEntry> ReadMountInfo();

// Where the file system `device` can be reached now: a mount of it that no later
// mount hides, one of the whole file system when there is one, the first in the
// table otherwise. Null when it is not mounted (any more).
const MountInfoEntry* VisibleMountOf(const std::vector<MountInfoEntry>& table, uint64_t device);
