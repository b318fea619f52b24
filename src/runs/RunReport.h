#pragma once
// A run's report from its start to its files: the run begins the record with the
// options it runs with, the frame ends it when the run is over (done, partly done
// or stopped) and writes it where the settings and the command line say.
#include <string>
#include <vector>

struct AppSettings;
class RunState;
class RunWindow;

// Starts the record when reports are on ("files" or "free-space").
void BeginRunReport(RunState& state, const std::string& kind, const AppSettings& settings,
                    int passes);

// Writes the report of the run that just ended, logs where it went (or why it
// could not be written) and mentions it in the status line. The run's outcome
// stays as it is whatever happens here.
void FinishRunReport(RunWindow& window, RunState& state);

// Takes "-report PATH" out of a command line (after "-exec" or "-drives"); the
// paths go to `reportPaths`. False when "-report" has no path after it.
bool TakeReportArguments(std::vector<std::u16string>& args, std::vector<std::string>& reportPaths);
