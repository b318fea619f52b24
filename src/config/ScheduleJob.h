#pragma once
// A scheduled run: what it shreds (paths, the trash) or which drives it fills, how
// (the options of kelvane-cli's run), when (a calendar expression of systemd
// timers), and the identity of every chosen folder, file and drive as it was when
// the job was made. A job lives in the storage folder, in "Jobs/<id>.json"; what
// its last run did in "Jobs/<id>.state.json".
//
// The world may change between runs: a folder removed and made again, replaced by
// a link, a USB drive unplugged so that its mount point is a plain folder of the
// system disk. A run goes ahead only while every identity still holds.
#include <cstdint>
#include <string>
#include <vector>

struct JobIdentity {
    enum class Kind { kFile, kFolder, kLink, kDrive };
    Kind kind = Kind::kFolder;
    std::string path;  // absolute
    uint64_t device = 0;
    uint64_t inode = 0;
    // Drives only: the file system's identity (statfs f_fsid) and UUID where the
    // system names one (/dev/disk/by-uuid); the UUID may be empty (tmpfs).
    uint64_t fsid = 0;
    std::string uuid;
};

struct ScheduleJob {
    std::string id;                    // 8 hex digits, used in file and unit names
    std::string name;                  // the user's words for it; may be empty
    std::string command;               // "shred" or "free-space"
    std::vector<std::string> options;  // kelvane-cli options of the run (no -y, no --json)
    std::vector<std::string> paths;    // absolute; drives for free-space
    bool trash = false;                // shred the user's trash
    std::string folder;                // the current folder when it was made
    std::string calendar;              // systemd OnCalendar= expression
    int randomDelaySec = 0;
    int64_t created = 0;
    std::vector<JobIdentity> identities;
};

// What the last run of a job did.
struct JobState {
    int64_t time = 0;     // seconds since the epoch; 0: never ran
    std::string outcome;  // done, partly, interrupted, nothing, skipped, failed
    int exitStatus = 0;
    std::string reason;  // why it was skipped or failed
};

// A calendar of the window's and the command line's simple choices: "daily",
// "weekly" (Mondays), "monthly" (the first), at HH:MM. Empty when `every` or
// `at` is not one of them.
std::string CalendarOf(const std::string& every, const std::string& at);
// A calendar expression as it may stand in a unit file: printable ASCII of the
// characters systemd's calendar syntax uses, one line, not empty.
bool PlausibleCalendar(const std::string& calendar);

// Takes the identity of a chosen path (`drive`: of the file system mounted there).
// False with `error` when it cannot be had: missing, or a drive that is no mount.
bool CaptureIdentity(const std::string& path, bool drive, JobIdentity& identity,
                     std::string& error);
// Empty when the path is still what was taken; otherwise why not, in words.
std::string IdentityChange(const JobIdentity& identity);

std::string JobJson(const ScheduleJob& job);
bool JobFromJson(const std::string& text, ScheduleJob& job, std::string& error);

// The jobs folder of a storage folder, made private when missing.
std::string JobsFolder(const std::string& storageFolder);
bool SaveJob(const std::string& storageFolder, const ScheduleJob& job, std::string& error);
bool LoadJob(const std::string& storageFolder, const std::string& id, ScheduleJob& job,
             std::string& error);
std::vector<ScheduleJob> LoadJobs(const std::string& storageFolder);
bool RemoveJobFiles(const std::string& storageFolder, const std::string& id);
void SaveJobState(const std::string& storageFolder, const std::string& id, const JobState& state);
JobState LoadJobState(const std::string& storageFolder, const std::string& id);

// A new id that no job of the storage folder has.
std::string NewJobId(const std::string& storageFolder);
bool PlausibleJobId(const std::string& id);
