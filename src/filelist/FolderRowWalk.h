#pragma once
// The rows of chosen folders one at a time, for a run that lists as it goes: a
// tree of a million files never stands in memory as a list. Every file comes as
// the walk meets it, and a folder's row as the walk leaves that folder, so it
// follows the rows of everything inside it (the order a run can remove them in),
// the chosen folder's own row last. The rows and their texts are those of
// ExpandFolder; only the folder rows come as each folder is left rather than all
// at the end. What is held: the walk's descriptor per level and the path of each
// folder it is in, nothing of what it passed.
#include <deque>
#include <string>
#include <vector>

#include "engine/FileOps.h"
#include "runs/RunWindow.h"

class FolderRowWalk {
  public:
    // `folders` end with "/". They are recorded as chosen (RecordChosenRoot) by
    // the caller, once, before any walk: a second walk of the same folders must
    // not take a folder swapped in meanwhile for the one chosen.
    explicit FolderRowWalk(std::vector<std::u16string> folders);
    FolderRowWalk(const FolderRowWalk&) = delete;
    FolderRowWalk& operator=(const FolderRowWalk&) = delete;

    // The next row; false after the last folder's own row.
    bool Next(NewRow& row);

  private:
    void BeginFolder();
    void Step();
    void TakeStep(const std::u16string& path, int64_t size, int64_t time);
    void LeaveFolder();

    std::vector<std::u16string> folders_;
    size_t nextFolder_ = 0;
    FileOps ops_;
    bool walking_ = false;
    std::vector<std::u16string> entered_;  // the folders the walk is in, outermost first
    std::deque<NewRow> ready_;             // at most the few rows of one step
};
