#pragma once
// Scheduled jobs as systemd user units: a timer that fires on the job's calendar
// and a oneshot service that runs `kelvane-cli run-job ID`, its condition being
// `kelvane-cli run-job ID --check`. The units go to $XDG_CONFIG_HOME/systemd/user
// (else ~/.config/systemd/user) and are created anew, never written over a file
// that is there; they are removed only while they are the files this program
// made (same device, inode and text).
//
// `systemctl --user` is reached through one replaceable runner: the program
// named by $KELVANE_SYSTEMCTL, else systemctl, so tests never touch the real
// user manager.
#include <cstdint>
#include <string>
#include <vector>

#include "config/ScheduleJob.h"

struct ToolResult {
    int status = -1;     // the exit status; -1: could not be started or timed out
    std::string output;  // standard output and standard error together
};

// Runs `systemctl --user ARGS...`, waiting at most `seconds`.
ToolResult SystemctlUser(const std::vector<std::string>& args, int seconds = 20);

std::string UserUnitFolder();
std::string TimerUnitName(const std::string& id);
std::string ServiceUnitName(const std::string& id);
std::string TimerUnitText(const ScheduleJob& job);
// `cli`: the absolute path of kelvane-cli.
std::string ServiceUnitText(const ScheduleJob& job, const std::string& cli);

// Writes both units. False with `error` when either cannot be created.
bool WriteJobUnits(const ScheduleJob& job, const std::string& cli, std::string& error);
// Removes the units of a job that are still as written; says which were left.
void RemoveJobUnits(const ScheduleJob& job, const std::string& cli, std::vector<std::string>& left);

// Whether a user manager answers here (servers and containers often have none).
bool UserManagerRuns(std::string& why);

// The crontab line that runs the job where no user manager does; empty when its
// calendar has no crontab form (then `why` says so).
std::string CrontabLine(const ScheduleJob& job, const std::string& cli, std::string& why);

// Next and last time of a job's timer, from the user manager (microseconds since
// the epoch; 0 when unknown).
struct TimerTimes {
    uint64_t nextUsec = 0;
    uint64_t lastUsec = 0;
    bool known = false;
};
TimerTimes ReadTimerTimes(const std::string& id);

// The kelvane-cli to put in the units: the one running, from /proc/self/exe.
std::string RunningProgram();
