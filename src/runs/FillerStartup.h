#pragma once
// At every start of the program, and before a free-space run: filler files of
// an interrupted free-space run are deleted where the run's record proves them
// ours, each named in the log, with one line for the status line. A record that
// is not this user's own, private file is ignored and reported.
#include <string>
#include <vector>

#include "config/AppSettings.h"

struct FillerStartupReport {
    std::vector<std::u16string> logLines;  // one per file deleted or kept, or the record ignored
    std::u16string statusText;             // empty when nothing was found
    bool recordIgnored = false;            // a record was there but not trusted
};

// Works from the record in `storageFolder` only; no folder is searched for
// names, so the settings (the filler name) play no part.
FillerStartupReport RecoverFillersAtStart(const std::string& storageFolder,
                                          const AppSettings& settings);
