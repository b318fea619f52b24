#pragma once
// What waits for the folder expansion: a two-column StringTable of the run state.
// A folder: column 0 the folder in UTF-8, ending with "/"; column 1 "0". A path the
// user chose that nobody has looked at yet (file dialog, drop, command line):
// column 0 the path as given; column 1 "1". The expansion looks at each such
// entry on its thread, never on the window's.
#include <string>

class RunState;

// Queues `path`; an empty path is ignored, a missing trailing "/" is added.
// Returns false when nothing was queued.
bool QueueFolder(RunState& state, const std::u16string& path);

// Queues a path the user chose, as given; an empty path is ignored.
bool QueueChosenEntry(RunState& state, const std::u16string& path);
// Column 1 of a chosen entry not looked at yet.
inline constexpr long long kChosenEntryMark = 1;

// Empties the queue (two columns, no rows) for a new batch.
void ClearFolderQueue(RunState& state);
