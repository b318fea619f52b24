#pragma once
// The rows of the user's trash. Each trashed item of a trash folder's "files"
// (a folder walked as any chosen folder) is one row under its own name, with
// when it was deleted in the date column and the folder it came from as the
// row's origin; its ".trashinfo" is no row, as the run shreds it with the item.
// An item without info, and info without its item, are rows, and the next run's
// log says so.
// Every row is tied to its trash folder as it was found: the run reaches it only
// through that very folder, whose "files" and "info" stay.
#include <string>
#include <string_view>
#include <vector>

#include "platform/TrashFolders.h"

class RunState;
class RunWindow;
class WorkerThreads;

// What a ".trashinfo" says: the original path (percent-decoded; a relative one
// taken against the drive's top folder) and the deletion date as written.
struct TrashInfo {
    bool valid = false;  // a [Trash Info] group with a Path
    std::string path;
    std::string deletionDate;
};
TrashInfo ParseTrashInfo(std::string_view text, const std::string& topDir);

// One entry of a trash: its name in "files" (without ".trashinfo" for info).
struct TrashItem {
    std::string name;
    bool hasItem = false;
    bool isFolder = false;  // a real folder, not a link to one
    bool hasInfo = false;
    TrashInfo info;
};
// The entries of `trash`, in name order; empty when the folder is no longer the
// one found.
std::vector<TrashItem> ListTrashItems(const fsys::TrashFolder& trash);

// Appends the rows of every trash folder of the user (on the caller's thread,
// which must not be the window's); returns the number of trash folders found.
int ListTrashRows(RunWindow& window, RunState& state);
int ListTrashRows(RunWindow& window, RunState& state,
                  const std::vector<fsys::TrashFolder>& trashes);

// The window's "Add the trash": lists the trash on a worker thread, the window
// locked meanwhile. True when the listing was started.
bool StartTrashListing(WorkerThreads& threads, RunWindow& window, RunState& state);
