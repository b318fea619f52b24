#pragma once
// Where rows come from: files chosen in the file dialog, a folder chosen in the
// folder browser, and paths dropped on the window. Each call starts a new batch:
// the paths are queued as given and the folder expansion looks at them on its
// thread (see FolderExpansion.h): files (and links, which are never followed)
// become rows in the order given, then each folder's rows.
#include <string>
#include <vector>

class RunState;
class RunWindow;
class WorkerThreads;

// Files chosen in the file dialog. Returns true when an expansion was started.
bool AddChosenFiles(WorkerThreads& threads, RunWindow& window, RunState& state,
                    const std::vector<std::u16string>& paths);

// A folder chosen in the browser (empty: the user cancelled). A chosen folder
// becomes the remembered folder (UTF-8, ending with "/"). Returns true when an
// expansion was started.
bool AddChosenFolder(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::u16string& folder, std::string& rememberedFolder);

// Paths dropped on the window; a path that names nothing adds no row.
// Returns true when an expansion was started.
bool AddDroppedPaths(WorkerThreads& threads, RunWindow& window, RunState& state,
                     const std::vector<std::u16string>& paths);
