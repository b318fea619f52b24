// The real "open with the desktop" service, with a stand-in xdg-open on PATH: no
// browser or viewer is ever started.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "config/TextConv.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace {

// PATH pointing at `folder` only, for the lifetime of the object.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& folder) {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        if (had_) saved_ = old;
        ::setenv("PATH", folder.c_str(), 1);
    }
    ~ScopedPath() {
        if (had_)
            ::setenv("PATH", saved_.c_str(), 1);
        else
            ::unsetenv("PATH");
    }

  private:
    bool had_ = false;
    std::string saved_;
};

// The state letter of process `pid` from /proc ('\0' when it is gone).
char StateOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() ? '\0' : text[close + 2];
}

}  // namespace

TEST(Platform, ShellOpenStartsTheLauncherAndLeavesNoZombie) {
    TempDir dir;
    // The stand-in launcher says who it is and what it was given, then ends at once.
    dir.WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$$ $1\" > \"" + dir.Sub("seen.tmp") +
                                      "\"\n/bin/mv \"" + dir.Sub("seen.tmp") + "\" \"" +
                                      dir.Sub("seen") + "\"\n");
    ASSERT_EQ(::chmod(dir.Sub("bin/xdg-open").c_str(), 0755), 0);
    ScopedPath path(dir.Sub("bin"));
    const PlatformServices real = DefaultPlatformServices();

    const std::string target = dir.Sub("help page.html");
    ASSERT_TRUE(real.shellOpen(WideFromUtf8(target)));
    std::string seen;
    for (int i = 0; i < 1000 && !PathExists(dir.Sub("seen")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = ReadWholeFile(dir.Sub("seen"));
    const size_t space = seen.find(' ');
    ASSERT_NE(space, std::string::npos) << "the launcher never ran";
    EXPECT_EQ(seen.substr(space + 1), target + "\n");
    const pid_t launcher = static_cast<pid_t>(std::stol(seen.substr(0, space)));

    // Once it has ended, nothing of it stays behind as a child of ours.
    for (int i = 0; i < 1000 && StateOf(launcher) != '\0' && StateOf(launcher) != 'Z'; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int status = 0;
    EXPECT_EQ(::waitpid(launcher, &status, WNOHANG), -1) << "a zombie child was left";
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "some child was left";

    // A launcher that is missing or cannot run is reported, not taken for started.
    EXPECT_FALSE(real.shellOpen(u""));
    dir.WriteFile("bin/xdg-open", "not a program");
    ASSERT_EQ(::chmod(dir.Sub("bin/xdg-open").c_str(), 0644), 0);
    EXPECT_FALSE(real.shellOpen(WideFromUtf8(target)));
    ASSERT_EQ(::chmod(dir.Sub("bin/xdg-open").c_str(), 0755), 0);
    EXPECT_FALSE(real.shellOpen(WideFromUtf8(target))) << "exec of a file without #! fails";
    ASSERT_EQ(::unlink(dir.Sub("bin/xdg-open").c_str()), 0);
    EXPECT_FALSE(real.shellOpen(WideFromUtf8(target)));
}
