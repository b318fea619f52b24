#pragma once
// The user's own standard folders: home, and the desktop folders that
// ~/.config/user-dirs.dirs names (Desktop, Documents, Downloads, Music,
// Pictures, Videos, Templates, Public). A run removes the folders it emptied,
// but never one of these: they are places, not contents.
#include <string>
#include <vector>

#include "platform/ConfinedPath.h"

namespace fsys {

// The paths as configured ($HOME, $XDG_CONFIG_HOME or ~/.config for the list),
// with the customary English names added, since many desktops create those
// without writing the list.
std::vector<std::string> UserFolderPaths();

// The folders of UserFolderPaths that exist, by identity (a link is followed:
// the folder it leads to is the one protected).
std::vector<Identity> ProtectedFolderIdentities();

}  // namespace fsys
