// Start-up and every fill delete only what a run's record proves to be ours.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FillDrive.h"
#include "engine/FillerRecovery.h"
#include "platform/Volumes.h"
#include "runs/FillerStartup.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

const std::vector<std::string> kLookAlikes = {"Morvik.$$$temp$$$2024", "backup2024",
                                              "backup20240101"};

void Plant(const std::string& folder) {
    for (const std::string& name : kLookAlikes)
        TempDir::WriteFileAt(folder + name, "the user's " + name);
}

void ExpectIntact(const std::string& folder) {
    for (const std::string& name : kLookAlikes)
        EXPECT_EQ(ReadWholeFile(folder + name), "the user's " + name) << folder << name;
}

FillParams Params(const std::string& storage) {
    FillParams p;
    p.blockSize = 16 * 1024;
    p.fileSizeLimit = 64 * 1024;
    p.random = false;
    p.iterations = 1;
    p.trim = false;
    p.tempName = u"backup";
    p.recordFile = FillRecordPath(storage);
    return p;
}

// A fill killed once its third file exists (backup0000 to backup0002): files
// and record stay as a kill leaves them.
void KilledFill(const std::string& root, const std::string& storage) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        FillParams p = Params(storage);
        FillRun run(p);
        FillNotifications n;
        int files = 0;
        n.tempFile = [&](const std::u16string&) {
            if (++files == 3) ::_exit(0);
        };
        std::atomic<bool> stop{false};
        FillDrive(WideFromUtf8(root), p, run, n, stop);
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const char* f : {"backup0000", "backup0001", "backup0002"})
        ASSERT_TRUE(PathExists(root + f)) << f;
}

bool HasLine(const FillerStartupReport& r, const std::u16string& line) {
    return std::find(r.logLines.begin(), r.logLines.end(), line) != r.logLines.end();
}

}  // namespace

TEST(FillerStartup, LookAlikesStayAndOnlyRecordedFilesOfTheirIdentityGo) {
    TestMount m(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir home, storage;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.Path().c_str(), 1);
    ScopedDriveList drives({m.WPath()});
    Plant(m.Path());
    Plant(home.Path());

    AppSettings byDefault, custom;
    custom.diskShredFileName = "backup";
    for (const AppSettings* s : {&byDefault, &custom}) {
        FillerStartupReport r = RecoverFillersAtStart(storage.Path(), *s);
        EXPECT_TRUE(r.logLines.empty());
        EXPECT_TRUE(r.statusText.empty());
    }
    ExpectIntact(m.Path());
    ExpectIntact(home.Path());

    // A whole fill named "backup" on that drive.
    FillParams p = Params(storage.Path());
    FillRun run(p);
    std::atomic<bool> stop{false};
    EXPECT_TRUE(FillDrive(m.WPath(), p, run, {}, stop).Ok());
    ExpectIntact(m.Path());

    // An interrupted fill: its files go, except one a user put in place of a
    // recorded name (another inode).
    KilledFill(m.Path(), storage.Path());
    ASSERT_EQ(::unlink((m.Path() + "backup0001").c_str()), 0);
    TempDir::WriteFileAt(m.Path() + "backup0001", "mine");
    FillerStartupReport r = RecoverFillersAtStart(storage.Path(), custom);
    EXPECT_FALSE(PathExists(m.Path() + "backup0000"));
    EXPECT_FALSE(PathExists(m.Path() + "backup0002"));
    EXPECT_EQ(ReadWholeFile(m.Path() + "backup0001"), "mine");
    EXPECT_TRUE(HasLine(r, m.WPath() + u"backup0001 [Kept: not the filler file an interrupted "
                                       u"free-space run made]"));
    EXPECT_EQ(r.statusText,
              u"Deleted 2 filler files of an interrupted free-space run (0 MB freed)");
    ExpectIntact(m.Path());
    ExpectIntact(home.Path());
    ::setenv("HOME", savedHome.c_str(), 1);
}

// The record is proof only as this user's own private file: otherwise it is
// ignored, said so, and nothing it names is deleted.
TEST(FillerStartup, RecordOfAnotherUserOrReadableByOthersDeletesNothing) {
    TestMount m(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir storage;
    KilledFill(m.Path(), storage.Path());
    const std::string record = FillRecordPath(storage.Path());
    AppSettings settings;
    struct Case {
        mode_t mode;
        uid_t owner;
        const char16_t* why;
    };
    for (Case c : {Case{0644, ::geteuid(), u"others may read or change it"},
                   Case{0620, ::geteuid(), u"others may read or change it"},
                   Case{0600, 65534, u"it belongs to another user"}}) {
        ASSERT_EQ(::chmod(record.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(record.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
        FillerStartupReport r = RecoverFillersAtStart(storage.Path(), settings);
        EXPECT_EQ(
            r.statusText,
            std::u16string(u"The record of an interrupted free-space run was ignored: ") + c.why);
        EXPECT_TRUE(
            HasLine(r, WideFromUtf8(record) + u" [Ignored: " + c.why + u"; no file was deleted]"));
        for (const char* f : {"backup0000", "backup0001", "backup0002"})
            EXPECT_TRUE(PathExists(m.Path() + f)) << f;
        EXPECT_TRUE(PathExists(record)) << "left as it is";
    }
    ASSERT_EQ(::chown(record.c_str(), ::geteuid(), static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(RecoverFillersAtStart(storage.Path(), settings).statusText,
              u"Deleted 3 filler files of an interrupted free-space run (0 MB freed)");
}
