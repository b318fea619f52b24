#pragma once
// What kelvane-cli and the window program's headless runs share: listing the
// command line's paths into the terminal face, and waiting for the workers while
// SIGINT and SIGTERM become the stop flag.
#include <string>
#include <vector>

#include "runs/RunState.h"

class TerminalFace;
class WorkerThreads;

// Puts `args` (the program first, then an optional "-exec" or "-drives") in the
// list or the drives table, as the window's command line does, and walks the
// folders; "-trash" lists the user's trash instead. On a worker: a signal stops the walk. True
// unless a signal came.
bool ListCommandLine(const std::vector<std::u16string>& args, TerminalFace& face, RunState& state,
                     WorkerThreads& threads, bool announceFolders);

// Waits for every worker, turning a stop signal into the stop flag and keeping
// the progress line fresh.
void WaitForWorkers(WorkerThreads& threads, RunState& state, TerminalFace& face);

// Starts the free-space run (`drives`) or the file run of what was listed, waits
// for it and returns its outcome.
RunOutcome RunListedEntries(WorkerThreads& threads, RunState& state, TerminalFace& face,
                            bool drives);
