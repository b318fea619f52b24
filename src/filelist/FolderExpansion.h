#pragma once
// The folder expansion: turns the queue into list rows on a worker thread, so
// that the window keeps painting while large trees are walked, and so that no
// path the user chose is looked at on the window's thread.
//
// First each chosen entry of the queue, in the order given: a file (or link, or
// anything but a folder) becomes a row, tied to the folder holding it; a folder
// keeps its place among the queued folders. Then for each queued folder: every
// file of the tree in walk order, then one "FOLDER" row per folder the walk
// entered, from the last entered to the first, the queued folder itself last. A
// folder's row therefore always follows the rows of everything inside it, which
// is the order in which a run can remove them.
#include <string>

#include "engine/FileOps.h"

class FileRowSeries;
class RunState;
class RunWindow;
class WorkerThreads;

// The rows of one folder (it ends with "/"): its files, then its folders, the
// folder itself last, shown as `ownName` where that is not empty.
void ExpandFolder(FileRowSeries& rows, RunState& state, const std::u16string& folder,
                  const std::u16string& ownName);

// Clears the stop flag; when the queue holds a folder, locks the window, records
// the start time and starts the run clock and the expansion thread.
// Returns true when an expansion was started.
bool StartFolderExpansion(WorkerThreads& threads, RunWindow& window, RunState& state);

// The body of the expansion thread, after the window has been locked: the rows
// (with the "adding folder" status before the first walk), unlock, stop flag, and
// an empty status line after walked folders.
void RunFolderExpansion(RunWindow& window, RunState& state);

// Appends the rows of the queue; stops early when the stop flag is set (the
// folders recorded so far still get their rows). Without a folder to walk the
// status line ends with the number of rows. Returns true when a folder was walked.
// Without `listFolders` the queued folders are only recorded as chosen, and stay
// queued for a run that lists them as it goes (FolderRowWalk).
bool ExpandQueuedFolders(RunWindow& window, RunState& state, bool announce = false,
                         bool listFolders = true);

// The chosen folder, as the walk will find it: rows below it may later be
// reached only through this very folder.
void RecordChosenRoot(RunState& state, const std::u16string& folder);

// The size-column text of a row for an entry the walk met but could not list.
std::u16string NotListedReason(WalkSkip why);
