#pragma once
// Where rows come from: files chosen in the file dialog, a folder chosen in the
// folder browser, and paths dropped on the window. Files become rows at once;
// folders are queued for the folder expansion, which each batch starts.
#include <string>
#include <vector>

class RunState;
class RunWindow;
class WorkerThreads;

// Adds a row for each file, in the order given.
void AddChosenFiles(RunWindow& window, const std::vector<std::u16string>& paths);

// A folder chosen in the browser (empty: the user cancelled). Starts a new batch;
// a chosen folder is queued and becomes the remembered folder (UTF-8, ending with
// "/"). Returns true when an expansion was started.
bool AddChosenFolder(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::u16string& folder, std::string& rememberedFolder);

// Paths dropped on the window, in the order given: files (and links, which are
// never followed) become rows, folders are queued, anything else is ignored.
// Returns true when an expansion was started.
bool AddDroppedPaths(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::vector<std::u16string>& paths);
