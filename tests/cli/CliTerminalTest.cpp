// kelvane-cli on a terminal: the question before each file, answered as a person
// would, and the progress line kept to standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

// Runs the program on a new terminal; `answers` are typed one after each
// question. Returns the exit status and what the terminal showed.
int OnTerminal(const std::string& config, const std::vector<std::string>& args,
               std::vector<std::string> answers, std::string& shown) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return -1;
    if (pid == 0) {
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        std::vector<char*> argv{const_cast<char*>(KELVANE_CLI_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    size_t asked = 0;
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (std::chrono::steady_clock::now() > end) break;
        if (::poll(&p, 1, 200) <= 0) continue;
        char buf[1024];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;  // the program closed the terminal
        shown.append(buf, static_cast<size_t>(n));
        // Each question ends with the choices.
        size_t at = 0, count = 0;
        while ((at = shown.find("[c]ancel: ", at)) != std::string::npos) ++count, ++at;
        for (at = 0; (at = shown.find("[n]o: ", at)) != std::string::npos; ++at) ++count;
        while (asked < count && !answers.empty()) {
            const std::string a = answers.front() + "\n";
            answers.erase(answers.begin());
            (void)::write(master, a.data(), a.size());
            ++asked;
        }
    }
    ::close(master);
    int status = 0;
    pid_t r = 0;
    while ((r = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        ::usleep(10000);
    if (r == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        shown += "[killed]";
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(CliTerminal, AsksBeforeEachFileOnTheTerminal) {
    TempDir tmp;
    for (const char* f : {"a", "b", "c", "d"}) tmp.WriteFile(f, "secret");
    std::string shown;
    // No to a, something not understood then Yes to all at b: c and d go unasked.
    const int status =
        OnTerminal(tmp.Sub("config"),
                   {"shred", "-n", "1", tmp.Sub("a"), tmp.Sub("b"), tmp.Sub("c"), tmp.Sub("d")},
                   {"n", "what", "a"}, shown);
    EXPECT_EQ(status, 0) << shown;
    EXPECT_TRUE(PathExists(tmp.Sub("a")));
    for (const char* f : {"b", "c", "d"}) EXPECT_FALSE(PathExists(tmp.Sub(f))) << f;
    size_t questions = 0;
    for (size_t at = 0; (at = shown.find("[c]ancel: ", at)) != std::string::npos; ++at) ++questions;
    EXPECT_EQ(questions, 3u) << shown;

    // Cancel at the first question: nothing shredded, partly done.
    shown.clear();
    EXPECT_EQ(OnTerminal(tmp.Sub("config"), {"shred", tmp.Sub("a")}, {"c"}, shown), 1) << shown;
    EXPECT_TRUE(PathExists(tmp.Sub("a")));
}

TEST(CliTerminal, FreeSpaceOfAFolderNamesTheDriveAndAsksOnce) {
    TestMount mount(TestMount::Kind::Tmpfs, 4 * 1024);
    if (!mount.Ok()) GTEST_SKIP() << mount.Error();
    TempDir tmp;
    ASSERT_EQ(::mkdir((mount.Path() + "sub").c_str(), 0755), 0);
    std::string shown;
    // No: nothing is filled, the run counts as cancelled at a question.
    int status = OnTerminal(tmp.Sub("config"), {"free-space", "-n", "1", mount.Path() + "sub"},
                            {"n"}, shown);
    EXPECT_EQ(status, 1) << shown;
    EXPECT_NE(shown.find(mount.Path() + "sub/ is a folder on "), std::string::npos) << shown;
    EXPECT_NE(shown.find("mounted at " + mount.Path()), std::string::npos) << shown;
    EXPECT_EQ(shown.find("[done]"), std::string::npos) << shown;
    // Yes: filled, asked once only.
    shown.clear();
    status = OnTerminal(tmp.Sub("config"), {"free-space", "-n", "1", mount.Path() + "sub"}, {"y"},
                        shown);
    EXPECT_EQ(status, 0) << shown;
    size_t questions = 0;
    for (size_t at = 0; (at = shown.find("Fill them?", at)) != std::string::npos; ++at) ++questions;
    EXPECT_EQ(questions, 1u) << shown;
    EXPECT_NE(shown.find("sub/ [done]"), std::string::npos) << shown;
}
