#pragma once
// What stands between a file and a write: the mount, the file's inode flags, its
// permission bits and those of the folder holding it. Read without opening the
// file for writing, so that looking never changes anything.
#include <string>

namespace fsys {

struct WriteFacts {
    bool known = false;          // the file could be looked at
    bool readOnlyMount = false;  // its file system is mounted read-only
    bool immutable = false;      // chattr +i
    bool appendOnly = false;     // chattr +a
    bool noWriteBits = false;    // no write permission bit at all (IsReadOnlyMode)
    bool mayWrite = false;       // the system lets this process open it for writing
    bool ownWrite = false;       // the owner's write bit is set
    bool owned = false;          // this process may change its permissions (owner or root)
    // The holding folder, for renaming and removing.
    bool folderMayWrite = false;
    bool folderOwnWrite = false;
    bool folderOwned = false;
};

// `path`: an absolute path of a regular file (a link is not followed).
WriteFacts GatherWriteFacts(const std::string& path);

}  // namespace fsys
