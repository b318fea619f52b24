#include "platform/UserTimers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/FileSystem.h"

extern char** environ;

namespace {

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.config" : std::string();
}

// A word of ExecStart= or ExecCondition=: quoted, with what systemd would read
// as a specifier (%) or a variable ($) doubled and quotes and backslashes escaped.
std::string UnitWord(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        if (c == '$') out += '$';
        out += c;
    }
    return out + "\"";
}

// Makes each missing folder of `path` (private to the user).
bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates a new unit file, never over one that is there, never through a link.
bool CreateUnit(const std::string& folder, const std::string& name, const std::string& text,
                std::string& error) {
    const std::string path = folder + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = fsys::WriteAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path;
        ::unlink(path.c_str());
    }
    return ok;
}

// Removes a unit only while it holds exactly the text this program writes for it.
bool RemoveOwnUnit(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    struct stat st {};
    std::string have(text.size() + 1, '\0');
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
        n = ::read(fd, have.data(), have.size());
    ::close(fd);
    if (n != static_cast<ssize_t>(text.size()) || have.compare(0, text.size(), text) != 0)
        return false;
    return ::unlink(path.c_str()) == 0;
}

uint64_t NumberAfter(const std::string& text, const std::string& key) {
    const size_t at = text.find(key + "=");
    return at == std::string::npos ? 0
                                   : std::strtoull(text.c_str() + at + key.size() + 1, nullptr, 10);
}

}  // namespace

ToolResult SystemctlUser(const std::vector<std::string>& args, int seconds) {
    ToolResult r;
    const char* override = std::getenv("KELVANE_SYSTEMCTL");
    std::vector<std::string> argv{override && *override ? override : "systemctl", "--user"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (std::string& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        r.output = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return r;
    }
    // Read until the tool closes its output or the time is up; a user manager that
    // hangs must not hold the run or the window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timedOut = false;
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (r.output.size() < (1 << 20)) r.output.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (timedOut) r.output += "\n(no answer within " + std::to_string(seconds) + " s)";
    return r;
}

std::string UserUnitFolder() {
    const std::string base = ConfigHome();
    return base.empty() ? std::string() : base + "/systemd/user/";
}

std::string TimerUnitName(const std::string& id) {
    return "kelvane-job-" + id + ".timer";
}
std::string ServiceUnitName(const std::string& id) {
    return "kelvane-job-" + id + ".service";
}

std::string TimerUnitText(const ScheduleJob& job) {
    std::string t =
        "# Made by Kelvane: kelvane-cli schedule remove " + job.id + " takes it away.\n";
    t += "[Unit]\nDescription=Kelvane scheduled " + job.command + " (job " + job.id + ")\n\n";
    t += "[Timer]\nOnCalendar=" + job.calendar + "\nPersistent=true\n";
    t += "RandomizedDelaySec=" + std::to_string(job.randomDelaySec) + "\n";
    t += "Unit=" + ServiceUnitName(job.id) + "\n\n[Install]\nWantedBy=timers.target\n";
    return t;
}

std::string ServiceUnitText(const ScheduleJob& job, const std::string& cli) {
    std::string t =
        "# Made by Kelvane: kelvane-cli schedule remove " + job.id + " takes it away.\n";
    t += "[Unit]\nDescription=Kelvane scheduled " + job.command + " (job " + job.id + ")\n\n";
    t += "[Service]\nType=oneshot\n";
    // The condition skips the run (a status of 1 to 254), rather than failing it,
    // when a chosen folder or drive is no longer what it was.
    t += "ExecCondition=" + UnitWord(cli) + " run-job " + job.id + " --check\n";
    t += "ExecStart=" + UnitWord(cli) + " run-job " + job.id + " --json\n";
    t += "Nice=10\nIOSchedulingClass=idle\n";
    return t;
}

bool WriteJobUnits(const ScheduleJob& job, const std::string& cli, std::string& error) {
    const std::string folder = UserUnitFolder();
    if (folder.empty() || !MakeFolders(folder)) {
        error = "no folder for user units (" + folder + ")";
        return false;
    }
    if (!CreateUnit(folder, ServiceUnitName(job.id), ServiceUnitText(job, cli), error))
        return false;
    if (!CreateUnit(folder, TimerUnitName(job.id), TimerUnitText(job), error)) {
        (void)RemoveOwnUnit(folder + ServiceUnitName(job.id), ServiceUnitText(job, cli));
        return false;
    }
    return true;
}

void RemoveJobUnits(const ScheduleJob& job, const std::string& cli,
                    std::vector<std::string>& left) {
    const std::string folder = UserUnitFolder();
    if (folder.empty()) return;
    if (!RemoveOwnUnit(folder + TimerUnitName(job.id), TimerUnitText(job)))
        left.push_back(folder + TimerUnitName(job.id));
    if (!RemoveOwnUnit(folder + ServiceUnitName(job.id), ServiceUnitText(job, cli)))
        left.push_back(folder + ServiceUnitName(job.id));
}

bool UserManagerRuns(std::string& why) {
    const ToolResult r = SystemctlUser({"show-environment"}, 10);
    if (r.status == 0) return true;
    why = r.output;
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    if (why.empty()) why = "systemctl --user does not answer";
    return false;
}

std::string CrontabLine(const ScheduleJob& job, const std::string& cli, std::string& why) {
    // The calendars of CalendarOf only: "*-*-* HH:MM:00", "Mon *-*-* …", "*-*-01 …".
    const std::string& c = job.calendar;
    std::string day = "*", weekday = "*", time;
    if (c.rfind("*-*-* ", 0) == 0)
        time = c.substr(6);
    else if (c.rfind("Mon *-*-* ", 0) == 0)
        weekday = "1", time = c.substr(10);
    else if (c.rfind("*-*-01 ", 0) == 0)
        day = "1", time = c.substr(7);
    if (time.size() != 8 || time[2] != ':' || time.compare(5, 3, ":00") != 0) {
        why = "the calendar '" + c + "' has no crontab form; use daily, weekly or monthly";
        return {};
    }
    // Quoted for the shell cron starts; cron itself reads "%" as a line break.
    std::string quoted = "'";
    for (char ch : cli)
        quoted += ch == '\''  ? std::string("'\\''")
                  : ch == '%' ? std::string("\\%")
                              : std::string(1, ch);
    quoted += "'";
    return std::to_string(std::atoi(time.substr(3, 2).c_str())) + " " +
           std::to_string(std::atoi(time.substr(0, 2).c_str())) + " " + day + " * " + weekday +
           " " + quoted + " run-job " + job.id + " --check && " + quoted + " run-job " + job.id +
           " --json >/dev/null";
}

TimerTimes ReadTimerTimes(const std::string& id) {
    TimerTimes t;
    const ToolResult r = SystemctlUser({"show", TimerUnitName(id), "-p", "NextElapseUSecRealtime",
                                        "-p", "LastTriggerUSec", "--timestamp=unix"},
                                       10);
    if (r.status != 0) return t;
    // With --timestamp=unix the values read "@SECONDS"; plain numbers are microseconds.
    auto value = [&](const std::string& key) -> uint64_t {
        const size_t at = r.output.find(key + "=");
        if (at == std::string::npos) return 0;
        const char* v = r.output.c_str() + at + key.size() + 1;
        return *v == '@' ? std::strtoull(v + 1, nullptr, 10) * 1000000ull
                         : NumberAfter(r.output, key);
    };
    t.nextUsec = value("NextElapseUSecRealtime");
    t.lastUsec = value("LastTriggerUSec");
    t.known = true;
    return t;
}

std::string RunningProgram() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("kelvane-cli");
}
