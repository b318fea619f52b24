#pragma once
// The trash folders of the effective user, as desktops keep them: the home trash
// and, on each mounted drive, "<top>/.Trash/<uid>" (only below a shared ".Trash"
// that carries the sticky bit and is not a link) and "<top>/.Trash-<uid>". A
// trash folder counts only when it is a real folder owned by this user; another
// user's trash is never named. Drives are looked at with a time bound, so a
// mount that does not answer is left out.
#include <string>
#include <string_view>
#include <vector>

#include "platform/ConfinedPath.h"

namespace fsys {

struct TrashFolder {
    std::string path;    // absolute, ending with "/"
    std::string topDir;  // the drive's top folder, ending with "/" (home trash: empty)
    Identity identity;   // of the trash folder itself
};

// "%41" and the like as the bytes they stand for; anything else as it is.
std::string PercentDecode(std::string_view coded);

// The home trash path: $XDG_DATA_HOME/Trash where that is absolute, else
// <home>/.local/share/Trash, <home> being $HOME when this user owns it, else the
// home folder of the user database. No trailing "/".
std::string HomeTrashPath();

// The trash folder at `path` when it is a folder of this user and no link.
bool LookAtTrashFolder(const std::string& path, const std::string& topDir, TrashFolder& out);

// The trash folders of the drive whose top folder is `topDir` (ending with "/").
std::vector<TrashFolder> DriveTrashFolders(const std::string& topDir);

// Every trash folder of this user: the home trash, then those of the drives of
// `drives` (mount points ending with "/"), each once.
std::vector<TrashFolder> FindTrashFolders(const std::vector<std::string>& drives);
// The same for the mounted drives of this machine.
std::vector<TrashFolder> FindUserTrashFolders();

// Drops from "directorysizes" of `trash` the line of every folder no longer in
// its "files" folder. The file is rewritten under a temporary name and renamed
// over, so a reader sees the old list or the new one. True when the file is as it
// should be (also when there is none).
bool PruneDirectorySizes(const TrashFolder& trash);

}  // namespace fsys
