#pragma once
// kelvane-cli schedule add|list|remove|run, and run-job: runs that come back on
// their own, as systemd user timers (or, where no user manager runs, a crontab
// line to add by hand).
#include <string>
#include <vector>

// Exit status of `run-job ID --check` when a chosen folder or drive is no longer
// what it was: systemd reads 1 to 254 from a condition as "skip this run".
inline constexpr int kExitJobSkipped = 1;
// Exit status of `run-job ID` itself when the same is found at the start of the
// run (the world changed between the condition and the run).
inline constexpr int kExitJobChanged = 6;

// args[1] is "schedule" or "run-job".
int RunScheduleCommand(const std::vector<std::string>& args);
