#pragma once
// The rows of the paths a list names, read from its spool as they are wanted,
// in the order the window's command line lists them: first every entry that is
// no folder, in the order given, tied to the folder holding it; then the tree of
// each folder, as FolderRowWalk gives it. What lies in a folder the list names
// (as `find` lists a folder and all it holds) comes once, with that folder's
// walk: a second row for it would find it gone. What is held: one path of the
// list, the walk of one folder, and the outermost folders the list names.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cli/PathListSpool.h"
#include "filelist/FolderRowWalk.h"
#include "runs/RunWindow.h"

class RunState;

class ChosenListRows {
  public:
    // The first pass over a list (`record`) records each entry's holding folder
    // and each folder as chosen, before any row of it is handed out; a later pass
    // finds them recorded, as they were then.
    ChosenListRows(const PathListSpool& spool, RunState& state, bool record);

    // The next row; false after the last.
    bool Next(NewRow& row);

  private:
    bool NextEntryRow(NewRow& row);
    bool NextFolder();
    // True when a folder the list names holds `path` (ending with "/" for a folder).
    bool Covered(const std::u16string& path) const;
    void AddOutermost(const std::u16string& folder);

    const PathListSpool& spool_;
    RunState& state_;
    bool record_;
    bool entries_ = true;  // still in the first sweep: the entries that are no folders
    std::optional<PathListSpool::Reader> reader_;
    std::unique_ptr<FolderRowWalk> walk_;
    // Each ends with "/"; left as walked. Ordered, so the folders below one lie
    // together, and looked up by views of a path's leading part.
    std::set<std::u16string, std::less<>> outermost_;
};
