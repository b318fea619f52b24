#pragma once
// The folder rows of a file run: removed when met, or left for a last try at the
// end of the run, when the files below them have gone.
#include <string>

#include "platform/ConfinedPath.h"

struct FileRunContext;

// A ticked folder row at index `run.i`, its entry already in the report.
void EndFolderRow(FileRunContext& run, const fsys::Root& root, const std::u16string& path);

// At the end of a run that was not stopped: removes the folders that could not
// go yet and ends the folder rows that waited for them.
void RetryWaitingFolders(FileRunContext& run);
