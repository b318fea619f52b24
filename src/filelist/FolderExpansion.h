#pragma once
// The folder expansion: turns the queued folders into list rows on a worker
// thread, so that the window keeps painting while large trees are walked.
//
// For each queued folder the rows are: every file of the tree in walk order, then
// one "FOLDER" row per folder the walk entered, from the last entered to the first,
// the queued folder itself last. A folder's row therefore always follows the rows
// of everything inside it, which is the order in which a run can remove them.
class RunState;
class RunWindow;
class WorkerThreads;

// Clears the stop flag; when the queue holds a folder, locks the window, records
// the start time and starts the run clock and the expansion thread.
// Returns true when an expansion was started.
bool StartFolderExpansion(WorkerThreads& threads, RunWindow& window, RunState& state);

// The body of the expansion thread, after the window has been locked: status text,
// the walk of every queued folder, unlock, stop flag, empty status line.
void RunFolderExpansion(RunWindow& window, RunState& state);

// Walks the queued folders and appends their rows; stops early when the stop flag
// is set (the folders recorded so far still get their rows).
void ExpandQueuedFolders(RunWindow& window, RunState& state);
