#pragma once
// The folders waiting for the folder expansion: a two-column StringTable of the
// run state (column 0 the folder in UTF-8, ending with "/"; column 1 "0").
#include <string>

class RunState;

// Queues `path`; an empty path is ignored, a missing trailing "/" is added.
// Returns false when nothing was queued.
bool QueueFolder(RunState& state, const std::u16string& path);

// Empties the queue (two columns, no rows) for a new batch.
void ClearFolderQueue(RunState& state);
