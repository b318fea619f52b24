#pragma once
// At every start of the program: filler files of an interrupted free-space run
// are found and deleted before anything else happens, each named in the log,
// with one line for the status line.
#include <string>
#include <vector>

#include "config/AppSettings.h"

struct FillerStartupReport {
    std::vector<std::u16string> logLines;  // one per file found
    std::u16string statusText;             // empty when nothing was found
};

// Looks in the recorded folders of runs in progress and, for the configured
// name (unless "leave files" keeps such files on purpose), at the roots of the
// local mounted drives and in the home folder.
FillerStartupReport RecoverFillersAtStart(const std::string& storageFolder,
                                          const AppSettings& settings);
