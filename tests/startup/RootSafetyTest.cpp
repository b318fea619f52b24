// The window program's headless runs as root beside other users: a report
// written into a shared folder, a mistyped "..", a FIFO for a report path, and
// the desktop's "Shred the trash".
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestText.h"

#ifdef KELVANE_EXE

namespace {

constexpr uid_t kNobody = 65534;

struct Outcome {
    int exitCode = -1;
    std::string out;  // standard output and standard error together
    double seconds = 0;
};

// The program without a display, its configuration under `tmp`/config, HOME at
// `tmp`/home, standard input /dev/null.
Outcome RunKelvane(const TempDir& tmp, const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    Outcome o;
    int fds[2];
    if (::pipe(fds) != 0) return o;
    const std::string config = tmp.Sub("config"), home = tmp.Sub("home");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("XDG_DATA_HOME");
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        std::vector<char*> argv{const_cast<char*>(KELVANE_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    const auto end = start + std::chrono::seconds(120);
    char buf[4096];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (std::chrono::steady_clock::now() > end) break;
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        o.out.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        o.out += "[killed: still running]";
    }
    ::waitpid(pid, &status, 0);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

void NoQuestions(const TempDir& tmp) {
    tmp.WriteFile("config/Tessarin/Kelvane/Kelvane.ini",
                  SettingsXml("  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n"));
}

// Another user, watching a shared folder: every new ".pdf" is replaced by a link
// to `target` the moment it appears. Runs as uid 65534 in a child process; says
// "ready" on `ready` once it watches.
pid_t StartSwapper(const std::string& folder, const std::string& target, int ready) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0)
        ::_exit(3);
    const int in = ::inotify_init1(IN_CLOEXEC);
    if (in < 0 || ::inotify_add_watch(in, folder.c_str(), IN_CREATE) < 0) ::_exit(4);
    (void)::write(ready, "r", 1);
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n <= 0) ::_exit(5);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            const std::string name = e->len ? e->name : "";
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (name.size() < 4 || name.compare(name.size() - 4, 4, ".pdf") != 0) continue;
            const std::string path = folder + name;
            if (::unlink(path.c_str()) == 0 && ::symlink(target.c_str(), path.c_str()) == 0)
                ::_exit(0);
            ::_exit(6);
        }
    }
}

}  // namespace

TEST(RootSafety, PdfReportSwappedForALinkByAnotherUserNeverReachesTheTarget) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user's watcher needs root to start";
    TempDir tmp;
    NoQuestions(tmp);
    // The other user must reach the shared folder: the test's folder lets them
    // pass, the shared one (0777, no sticky bit) lets them replace names.
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 0711), 0);
    tmp.MakeDir("shared");
    ASSERT_EQ(::chmod(tmp.Sub("shared").c_str(), 0777), 0);
    tmp.WriteFile("rootfile", "root's own file\n");
    ASSERT_EQ(::chmod(tmp.Sub("rootfile").c_str(), 0644), 0);
    tmp.WriteFile("secret.txt", "secret");

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t swapper = StartSwapper(tmp.Sub("shared/"), tmp.Sub("rootfile"), ready[1]);
    ::close(ready[1]);
    char r = 0;
    pollfd p{ready[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    ASSERT_EQ(::read(ready[0], &r, 1), 1) << "the watcher did not start";
    ::close(ready[0]);

    const Outcome o =
        RunKelvane(tmp, {"-exec", tmp.Sub("secret.txt"), "-report", tmp.Sub("shared/")});
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(swapper, &status, WNOHANG) == 0; ++i) ::usleep(50000);
    if (::waitpid(swapper, &status, WNOHANG) == 0) {
        ::kill(swapper, SIGKILL);
        ::waitpid(swapper, &status, 0);
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the other user never replaced the PDF\n"
        << o.out;

    EXPECT_FALSE(PathExists(tmp.Sub("secret.txt"))) << o.out;
    // Root's file is as it was: neither a PDF written into it nor its mode changed.
    EXPECT_EQ(ReadWholeFile(tmp.Sub("rootfile")), "root's own file\n") << o.out;
    struct stat st {};
    ASSERT_EQ(::stat(tmp.Sub("rootfile").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    // And the run's log says that its PDF did not stay where it was written.
    const std::string log =
        Utf8FromLe(ReadWholeFile(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt")));
    EXPECT_NE(log.find("the PDF report " + tmp.Sub("shared/")), std::string::npos) << log;
    EXPECT_NE(log.find("was moved or replaced by someone else"), std::string::npos) << log;
}

TEST(RootSafety, DotOperandsAndAFifoForTheReportAreRefusedBeforeAnythingIsTouched) {
    TempDir tmp;
    NoQuestions(tmp);
    tmp.WriteFile("x/y/secret", "s");
    ASSERT_EQ(::mkfifo(tmp.Sub("fifo").c_str(), 0600), 0);
    char here[4096];
    ASSERT_NE(::getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(::chdir(tmp.Sub("x/y").c_str()), 0);
    const Outcome up = RunKelvane(tmp, {"-exec", ".."});
    const Outcome dot = RunKelvane(tmp, {"-exec", "--free-space-after", tmp.Sub("x/.")});
    const Outcome report = RunKelvane(tmp, {"-exec", "secret", "-report", tmp.Sub("fifo")});
    ASSERT_EQ(::chdir(here), 0);

    EXPECT_EQ(up.exitCode, 4) << up.out;
    EXPECT_NE(up.out.find("refusing to shred '..'"), std::string::npos) << up.out;
    EXPECT_EQ(dot.exitCode, 4) << dot.out;
    EXPECT_EQ(report.exitCode, 4) << report.out;
    EXPECT_NE(report.out.find("FIFO"), std::string::npos) << report.out;
    EXPECT_LT(report.seconds, 1.0);
    EXPECT_TRUE(PathExists(tmp.Sub("x/y/secret")));
}

TEST(RootSafety, ShredTheTrashFromTheDesktopAsksEvenWithConfirmOff) {
    TempDir tmp;
    NoQuestions(tmp);
    tmp.WriteFile("home/.local/share/Trash/files/old.txt", "thrown away");
    tmp.WriteFile("home/.local/share/Trash/info/old.txt.trashinfo",
                  "[Trash Info]\nPath=/tmp/old.txt\nDeletionDate=2026-01-01T00:00:00\n");
    // The desktop's action asks once; without a terminal (or window) to ask on,
    // nothing is shredded.
    const Outcome asked = RunKelvane(tmp, {"-trash", "--ask"});
    EXPECT_EQ(asked.exitCode, 4) << asked.out;
    EXPECT_TRUE(PathExists(tmp.Sub("home/.local/share/Trash/files/old.txt")));
    // A script's "-trash" keeps its rules: "Confirm delete" is off, so it runs.
    const Outcome script = RunKelvane(tmp, {"-trash"});
    EXPECT_EQ(script.exitCode, 0) << script.out;
    EXPECT_FALSE(PathExists(tmp.Sub("home/.local/share/Trash/files/old.txt"))) << script.out;
}

#endif  // KELVANE_EXE
