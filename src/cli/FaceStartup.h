#pragma once
// What a run without the window does first, as the window does at its start:
// files of another user steer nothing (and the user learns why), and the space
// that an interrupted free-space run kept is given back, with a bound on how
// long a drive may take to answer.
#include <string>

#include "config/SettingsFile.h"
#include "config/StorageFolders.h"

class TerminalFace;

// Says on standard error (as `program`) why the storage folder or the settings
// file is not used; a refused settings file is never saved over.
void WarnNotTrusted(TerminalFace& face, const char* program, StoragePaths& storage,
                    const LoadedSettings& loaded);

// The clean-up of an interrupted free-space run. Its log lines wait for the next
// run's log; its status line is said unless `quiet`. False when it did not end
// within the bound (a drive not answering): no fill may start then, as the fill
// would write the very record the clean-up reads.
bool CleanUpAtStart(TerminalFace& face, const std::string& storageFolder,
                    const AppSettings& settings, bool quiet);
