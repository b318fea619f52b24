#include "cli/CliSchedule.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "cli/JsonLines.h"
#include "config/ScheduleJob.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "platform/UserTimers.h"

namespace {

constexpr const char* kProgram = "kelvane-cli";

int Usage(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 message.c_str(), kProgram);
    return kExitUsage;
}

std::string Shown(const std::string& path) {
    return Utf8FromWide(PrintableText(WideFromUtf8(path)));
}

std::string StorageFolder() {
    return FindStoragePaths(DefaultStorageLocations(), std::time(nullptr)).storageFolder;
}

bool ValidUtf8(const std::string& s) {
    return Utf8FromWide(WideFromUtf8(s)) == s && PrintableText(WideFromUtf8(s)) == WideFromUtf8(s);
}

// A path as the run will reach it from the job's folder: absolute, the folders
// above it resolved, its own last component kept (a chosen link stays a link).
bool AbsolutePath(const std::string& folder, const std::string& given, std::string& out) {
    std::string path = given.empty() || given[0] == '/' ? given : folder + "/" + given;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    const std::string last = path.substr(slash + 1);
    if (last == "." || last == "..") return false;
    char buf[PATH_MAX];
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    if (!::realpath(parent.c_str(), buf)) return false;
    out = std::string(buf) == "/" ? "/" + last : std::string(buf) + "/" + last;
    if (last.empty()) out = buf;
    return true;
}

std::string TimeText(int64_t seconds) {
    if (seconds <= 0) return "-";
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
    return buf;
}

std::string WhatOf(const ScheduleJob& job) {
    if (job.trash) return "the trash";
    std::string what;
    for (const std::string& p : job.paths) what += (what.empty() ? "" : ", ") + Shown(p);
    return what;
}

// The run a job stands for, as the arguments of kelvane-cli.
std::vector<std::string> RunArguments(const ScheduleJob& job, bool json) {
    std::vector<std::string> args{kProgram, job.command, "--yes"};
    if (json) args.push_back("--json");
    if (job.trash) args.push_back("--trash");
    args.insert(args.end(), job.options.begin(), job.options.end());
    args.push_back("--");
    args.insert(args.end(), job.paths.begin(), job.paths.end());
    return args;
}

int Add(const std::vector<std::string>& args, size_t i) {
    std::string name, every, at = "03:00", calendar;
    int delay = 1800;
    bool json = false;
    for (; i < args.size() && args[i].size() > 1 && args[i][0] == '-'; ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string d;
        if (a == "--name"       ? !value(name)
            : a == "--every"    ? !value(every)
            : a == "--at"       ? !value(at)
            : a == "--calendar" ? !value(calendar)
            : a == "--delay"    ? !value(d)
            : a == "--json"     ? !(json = true)
                                : true)
            return Usage(a == "--name" || a == "--every" || a == "--at" || a == "--calendar" ||
                                 a == "--delay"
                             ? "option '" + a + "' needs a value"
                             : "unknown option '" + a + "' of schedule add");
        if (!d.empty()) {
            char* end = nullptr;
            const long v = std::strtol(d.c_str(), &end, 10);
            if (*end || v < 0 || v > 86400) return Usage("--delay takes seconds, 0 to 86400");
            delay = static_cast<int>(v);
        }
    }
    if (calendar.empty()) {
        if (every.empty())
            return Usage("schedule add needs --every daily|weekly|monthly or --calendar");
        calendar = CalendarOf(every, at);
        if (calendar.empty())
            return Usage("--every takes daily, weekly or monthly, --at a time HH:MM");
    } else if (!every.empty() || !PlausibleCalendar(calendar)) {
        return Usage(every.empty() ? "--calendar '" + calendar + "' is no calendar expression"
                                   : "give --every or --calendar, not both");
    }
    if (!ValidUtf8(name)) return Usage("the name must be printable UTF-8");

    // The run: a kelvane-cli command line, checked now as the run would check it.
    std::vector<std::string> run{kProgram};
    for (size_t k = i; k < args.size(); ++k)
        if (args[k] != "-y" && args[k] != "--yes" && args[k] != "--json") run.push_back(args[k]);
    if (run.size() < 2)
        return Usage(
            "schedule add needs a run: shred PATH..., shred --trash or free-space DRIVE...");
    const CliParse parse = ParseCliArguments(run);
    if (!parse.error.empty()) return Usage(parse.error);
    const CliOptions& o = parse.options;
    if (o.command != CliCommand::kShred && o.command != CliCommand::kFreeSpace)
        return Usage("only shred and free-space runs can be scheduled");
    if (!o.filesFrom.empty()) return Usage("--files-from cannot be scheduled: name the folders");
    if (o.paths.empty() && !o.trash) return Usage("the run names nothing to shred");

    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return Usage(std::string("cannot name the current folder: ") + std::strerror(errno));
    ScheduleJob job;
    job.name = name;
    job.command = run[1];
    job.trash = o.trash;
    job.calendar = calendar;
    job.randomDelaySec = delay;
    job.created = std::time(nullptr);
    // Options stay as given, but with every path made absolute: the job's paths
    // are separated from them by "--".
    for (size_t k = 2; k < run.size(); ++k) {
        const std::string& a = run[k];
        bool isPath = false;
        for (const std::string& p : o.paths) isPath = isPath || a == p;
        if (!isPath && a != "--trash" && a != "--") job.options.push_back(a);
    }
    // Relative values of options (a pattern file, a report folder) are read from
    // the folder the job was made in.
    job.folder = cwd;
    // Options whose value happened to equal a path were taken as paths above;
    // the parse of what is left must give the same run.
    for (const std::string& p : o.paths) {
        std::string abs;
        if (!AbsolutePath(cwd, p, abs))
            return Usage("'" + Shown(p) + "' cannot be scheduled (no such folder, or . and ..)");
        if (!ValidUtf8(abs))
            return Usage("'" + Shown(p) + "': only printable UTF-8 names can be scheduled");
        JobIdentity id;
        std::string error;
        if (!CaptureIdentity(abs, o.command == CliCommand::kFreeSpace, id, error))
            return Usage("'" + Shown(abs) + "': " + error);
        job.paths.push_back(abs);
        job.identities.push_back(id);
    }
    {
        std::vector<std::string> check = RunArguments(job, false);
        const CliParse again = ParseCliArguments(check);
        if (!again.error.empty() || again.options.paths.size() != o.paths.size())
            return Usage("an option's value is also one of the paths; give the paths after --");
    }

    const std::string storage = StorageFolder();
    if (storage.empty()) return Usage("no private storage folder to keep the job in");
    job.id = NewJobId(storage);
    std::string error;
    if (job.id.empty() || !SaveJob(storage, job, error))
        return Usage(error.empty() ? "no job id could be made" : error);
    const std::string cli = RunningProgram();
    if (!WriteJobUnits(job, cli, error)) {
        RemoveJobFiles(storage, job.id);
        return Usage(error);
    }
    std::string why;
    const bool manager = UserManagerRuns(why);
    bool enabled = false;
    if (manager) {
        (void)SystemctlUser({"daemon-reload"});
        const ToolResult r = SystemctlUser({"enable", "--now", TimerUnitName(job.id)});
        enabled = r.status == 0;
        if (!enabled) why = r.output;
    }
    std::string cronWhy;
    const std::string cron = enabled ? std::string() : CrontabLine(job, cli, cronWhy);
    if (json) {
        JsonObject e;
        e.Add("event", "scheduled").Add("id", job.id.c_str()).Add("calendar", job.calendar.c_str());
        e.AddBool("enabled", enabled);
        if (!cron.empty()) e.Add("crontab", cron.c_str());
        std::printf("%s\n", e.Text().c_str());
    } else {
        std::printf("Job %s: %s %s, %s\n", job.id.c_str(), job.command.c_str(), WhatOf(job).c_str(),
                    job.calendar.c_str());
    }
    if (!enabled) {
        std::fprintf(stderr, "%s: no systemd user manager took the timer (%s).\n", kProgram,
                     why.c_str());
        if (!cron.empty())
            std::fprintf(stderr,
                         "Add this line with 'crontab -e' to run the job from cron instead:\n%s\n",
                         cron.c_str());
        else
            std::fprintf(stderr, "%s\n", cronWhy.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "Runs while you are logged in; 'loginctl enable-linger' lets it run while you are "
                 "logged out too.\n");
    return 0;
}

int List(bool json) {
    const std::string storage = StorageFolder();
    for (const ScheduleJob& job : LoadJobs(storage)) {
        const JobState s = LoadJobState(storage, job.id);
        const TimerTimes t = ReadTimerTimes(job.id);
        if (json) {
            JsonObject e;
            e.Add("event", "job").Add("id", job.id.c_str()).Add("name", WideFromUtf8(job.name));
            e.Add("command", job.command.c_str());
            std::vector<std::u16string> paths;
            for (const std::string& p : job.paths) paths.push_back(WideFromUtf8(p));
            e.Add("paths", paths).AddBool("trash", job.trash).Add("calendar", job.calendar.c_str());
            if (t.known) {
                e.Add("next", static_cast<int64_t>(t.nextUsec / 1000000));
                e.Add("last", static_cast<int64_t>(t.lastUsec / 1000000));
            }
            e.Add("lastRun", s.time);
            if (s.time) e.Add("lastOutcome", s.outcome.c_str()).Add("lastExit", s.exitStatus);
            if (!s.reason.empty()) e.Add("lastReason", WideFromUtf8(s.reason));
            std::printf("%s\n", e.Text().c_str());
        } else {
            std::printf("%s  %-10s %s  [%s]\n", job.id.c_str(), job.command.c_str(),
                        WhatOf(job).c_str(), job.calendar.c_str());
            if (!job.name.empty()) std::printf("          name: %s\n", job.name.c_str());
            std::printf("          next: %s  last: %s",
                        t.known ? TimeText(t.nextUsec / 1000000).c_str() : "-",
                        TimeText(s.time).c_str());
            if (s.time)
                std::printf(" (%s%s%s)", s.outcome.c_str(), s.reason.empty() ? "" : ": ",
                            s.reason.c_str());
            std::printf("\n");
        }
    }
    return 0;
}

int Remove(const std::string& id) {
    const std::string storage = StorageFolder();
    ScheduleJob job;
    std::string error;
    if (!LoadJob(storage, id, job, error)) return Usage(error);
    std::string why;
    if (UserManagerRuns(why)) (void)SystemctlUser({"disable", "--now", TimerUnitName(id)});
    std::vector<std::string> left;
    RemoveJobUnits(job, RunningProgram(), left);
    if (UserManagerRuns(why)) (void)SystemctlUser({"daemon-reload"});
    RemoveJobFiles(storage, id);
    for (const std::string& l : left)
        std::fprintf(stderr, "%s: %s was changed by hand and is left; remove it yourself\n",
                     kProgram, Shown(l).c_str());
    return left.empty() ? 0 : 1;
}

// The identities of the job, from the folder it was made in.
std::string WorldChange(const ScheduleJob& job) {
    for (const JobIdentity& id : job.identities) {
        const std::string change = IdentityChange(id);
        if (!change.empty()) return Shown(id.path) + ": " + change;
    }
    return {};
}

int RunJob(const std::string& id, bool checkOnly, bool json) {
    const std::string storage = StorageFolder();
    ScheduleJob job;
    std::string error;
    if (!LoadJob(storage, id, job, error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return checkOnly ? 255 : kExitUsage;
    }
    std::string change = WorldChange(job);
    if (change.empty() && ::chdir(job.folder.c_str()) != 0)
        change = Shown(job.folder) + ": " + std::strerror(errno);
    if (!change.empty()) {
        std::fprintf(stderr, "%s: job %s skipped: %s\n", kProgram, id.c_str(), change.c_str());
        SaveJobState(storage, id, JobState{std::time(nullptr), "skipped", 0, change});
        return checkOnly ? kExitJobSkipped : kExitJobChanged;
    }
    if (checkOnly) return 0;
    const int status = RunCli(RunArguments(job, json));
    static const char* const kOutcomes[] = {"done",    "partly", "interrupted",
                                            "nothing", "failed", "not-guaranteed"};
    SaveJobState(storage, id,
                 JobState{std::time(nullptr),
                          status >= 0 && status <= 5 ? kOutcomes[status] : "failed", status, ""});
    return status;
}

}  // namespace

int RunScheduleCommand(const std::vector<std::string>& args) {
    if (args[1] == "run-job") {
        bool check = false, json = false;
        std::string id;
        for (size_t i = 2; i < args.size(); ++i) {
            if (args[i] == "--check")
                check = true;
            else if (args[i] == "--json")
                json = true;
            else if (id.empty() && PlausibleJobId(args[i]))
                id = args[i];
            else
                return Usage("run-job takes a job id, --check and --json");
        }
        if (id.empty()) return Usage("run-job takes a job id");
        return RunJob(id, check, json);
    }
    if (args.size() < 3) return Usage("schedule takes add, list, remove or run");
    const std::string& what = args[2];
    if (what == "add") return Add(args, 3);
    if (what == "list") {
        if (args.size() > 4 || (args.size() == 4 && args[3] != "--json"))
            return Usage("schedule list takes only --json");
        return List(args.size() == 4);
    }
    if ((what == "remove" || what == "run") && args.size() == 4 && PlausibleJobId(args[3])) {
        if (what == "remove") return Remove(args[3]);
        std::string why;
        if (UserManagerRuns(why)) {
            const ToolResult r = SystemctlUser({"start", "--no-block", ServiceUnitName(args[3])});
            if (r.status == 0) {
                std::fprintf(stderr,
                             "Job %s started; 'kelvane-cli schedule list' shows how it ended.\n",
                             args[3].c_str());
                return 0;
            }
        }
        return RunJob(args[3], false, false);
    }
    return Usage("schedule " + what + ": unknown, or a job id of 8 hex digits is missing");
}
