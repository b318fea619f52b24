#pragma once
// Places no run ever works on: "/", the system's own top-level folders (/bin,
// /boot, /dev, /etc, /lib*, /opt, /proc, /root, /run, /sbin, /srv, /sys, /usr,
// /var), the root of /home, the user's home folder, and any file system the
// kernel makes up (proc, sysfs, devtmpfs, devpts, cgroup ...). A script whose
// variable came out empty turns "$D/d*" into "/d*", and nothing but this list
// stands between that and /dev. What lies below such a folder, on an ordinary
// file system, stays the user's to choose (/var/tmp/mine/, ~/Documents/x).
//
// Places are compared by identity (device and inode of the folder itself), so
// neither a link, nor "..", nor a bind mount of /etc elsewhere gets round them.
#include <memory>
#include <string>
#include <vector>

#include "platform/ConfinedPath.h"

namespace fsys {

enum class Guard {
    kAllowed,
    kSystemPlace,       // is one of the places
    kHoldsSystemPlace,  // a folder above one of them ("/" aside, only through a test's list)
    kSystemFileSystem,  // lies on a file system the kernel makes up
};

// The places as paths: the list above, or what a test set instead.
std::vector<std::string> SystemPlacePaths();
// The home folders: the account's and $HOME. Each is a place itself; what
// lies above it is not one for that.
std::vector<std::string> HomeFolderPaths();
// Tests: stand-ins for the system places (empty: the real ones again). The
// stand-ins are judged like the real places; "/" is not added to them.
void SetSystemPlacePaths(std::vector<std::string> paths);

// proc, sysfs, devtmpfs, devpts, cgroup and their kin, by the file system the
// open descriptor `fd` (O_PATH will do) lies on.
bool OnSystemFileSystem(int fd);

// The places, looked up once, with every folder above each of them.
class SystemPlaces {
  public:
    SystemPlaces(const std::vector<std::string>& paths, const std::vector<std::string>& homes);
    // A folder held open (O_PATH will do).
    Guard JudgeFolder(int fd) const;
    // An entry as a run reaches it: the file system of its holding folder, and
    // the folder itself when it is one.
    Guard JudgeEntry(const Place& place) const;
    // What JudgeEntry says of an entry that is no folder: only the file system of
    // its folder counts, and that is asked once per held folder.
    Guard JudgeNonFolder(const Place& place) const;
    bool IsPlace(const Identity& id) const;

  private:
    std::vector<Identity> places_;
    std::vector<Identity> above_;
};

// The places of SystemPlacePaths and HomeFolderPaths; looked up again only when those paths
// changed, so that listing many files alone costs one look-up.
std::shared_ptr<const SystemPlaces> CurrentSystemPlaces();

// The reason shown in a row and written in the log ("a system place, never
// shredded"); empty for kAllowed.
std::u16string GuardText(Guard guard);

}  // namespace fsys
