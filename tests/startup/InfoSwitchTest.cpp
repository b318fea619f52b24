// Without a display the program starts no Qt: "--help" and "--version" answer
// before it would, and "-exec" and "-drives" run on the terminal face.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"
#include "support/TestText.h"

#ifdef KELVANE_EXE

namespace {
std::string Output(const std::string& args, int& status) {
    // No display, and a platform Qt could not start: only an answer before Qt works.
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=none "
        "ASAN_OPTIONS=detect_leaks=0 XDG_CONFIG_HOME=/nonexistent/kelvane-info '" KELVANE_EXE "' " +
        args + " 2>&1";
    std::FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    if (!p) return out;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    status = ::pclose(p);
    return out;
}
}  // namespace

TEST(InfoSwitch, HelpAndVersionNeedNoDisplay) {
    int status = -1;
    for (const char* help : {"--help", "-h"}) {
        const std::string out = Output(help, status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_EQ(out.rfind("Usage: kelvane [PATH...]", 0), 0u) << out;
        EXPECT_NE(out.find("-drives MOUNTPOINT"), std::string::npos);
    }
    EXPECT_EQ(Output("--version", status), "kelvane " KELVANE_VERSION "\n");
    EXPECT_EQ(status, 0);
}

// A run of the window program without a display: watched while it runs, it
// never maps a Qt platform plugin (the offscreen window it used to start).
TEST(Headless, ExecRunsWithoutAQtPlatform) {
    TempDir tmp;
    tmp.WriteFile("config/Tessarin/Kelvane/Kelvane.ini",
                  SettingsXml("  <Confirm>0</Confirm>\r\n  <Iterations>20</Iterations>\r\n"));
    tmp.WriteFile("big.bin", std::string(16u << 20, 'x'));
    std::vector<std::string> env{"XDG_CONFIG_HOME=" + tmp.Sub("config"), "PATH=/usr/bin:/bin",
                                 "ASAN_OPTIONS=detect_leaks=0"};
    std::vector<std::string> argv{KELVANE_EXE, "-exec", tmp.Sub("big.bin")};
    std::vector<char*> a, e;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    for (auto& s : env) e.push_back(s.data());
    e.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, a[0], &fa, nullptr, a.data(), e.data()), 0);
    posix_spawn_file_actions_destroy(&fa);

    bool sawPlatform = false, sawRun = false;
    const std::string maps = "/proc/" + std::to_string(pid) + "/maps";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end) {
        const std::string m = ReadWholeFile(maps);
        sawPlatform = sawPlatform || m.find("platforms/libq") != std::string::npos;
        // The run has begun once its log exists.
        sawRun = sawRun || PathExists(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt"));
        if (sawRun && !m.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(sawRun);
    EXPECT_FALSE(sawPlatform);
}

#endif
