// Every chosen drive ends with a line that says what happened, and the run's
// end says whether all went well.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FillDrive.h"
#include "engine/FillerRecovery.h"
#include "platform/FillSystem.h"
#include "platform/Volumes.h"
#include "runs/FillerStartup.h"
#include "runs/FreeSpaceRun.h"
#include "runs/OfferedDrives.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

void RunOnce(FakeRunWindow& window, RunState& state) {
    window.settings.diskShredBlockSize = 16384;
    window.settings.diskShredFileSize = 65536;
    window.iterationsText.assign(1, u'1');
    WorkerThreads threads;
    ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
    threads.JoinAll();
}

bool HasLine(const FakeRunWindow& w, const std::u16string& line) {
    return std::find(w.logLines.begin(), w.logLines.end(), line) != w.logLines.end();
}

}  // namespace

TEST(FreeSpaceOutcome, FailedDrivesAreNamedWithTheirReasonAndTheRunIsPartlyDone) {
    TempDir t;
    TestMount good(TestMount::Kind::Tmpfs, 256);
    TestMount ro(TestMount::Kind::Tmpfs, 64);
    TestMount full(TestMount::Kind::Tmpfs, 64);
    KELVANE_REQUIRE_MOUNT(good);
    KELVANE_REQUIRE_MOUNT(ro);
    KELVANE_REQUIRE_MOUNT(full);
    ASSERT_EQ(::mount(nullptr, ro.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    {
        std::FILE* f = std::fopen((full.Path() + "occupied").c_str(), "wb");
        std::string chunk(4096, 'o');
        while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() &&
               std::fflush(f) == 0) {
        }
        std::fclose(f);
    }
    FakeRunWindow window;
    RunState state;
    state.storageFolder = t.Sub("");
    for (const std::string& d : {t.Sub("missing/"), ro.Path(), full.Path(), good.Path()})
        state.drivesTable.AppendRow(d);
    RunOnce(window, state);

    EXPECT_TRUE(HasLine(window, WideFromUtf8(t.Sub("missing/")) + u" [FAILED!] not found"));
    EXPECT_TRUE(HasLine(window, ro.WPath() + u" [FAILED!] read-only"));
    EXPECT_TRUE(HasLine(window, full.WPath() +
                                    u" [FAILED!] drive full: no free space could be written, "
                                    u"0 bytes written"));
    EXPECT_TRUE(HasLine(window, good.WPath() + u" [done] 262144 bytes written"));
    // The run's own text, then where its report went (the storage folder keeps it).
    // (The clock may pass a second on a busy machine.)
    EXPECT_EQ(window.status.rfind(u"Shredding partly done. (00:00:0", 0), 0u);
    EXPECT_NE(window.status.find(u") Report: "), std::u16string::npos);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);
    EXPECT_FALSE(PathExists(FillRecordPath(t.Sub("")))) << "the record goes with the run";

    // All drives well: done, status 0.
    FakeRunWindow ok;
    RunState okState;
    okState.drivesTable.AppendRow(good.Path());
    RunOnce(ok, okState);
    EXPECT_EQ(ok.status.rfind(u"Shredding done. (00:00:0", 0), 0u);
    EXPECT_EQ(okState.lastOutcome.load(), RunOutcome::Done);
}

// The probes of the run and of the drive dialog create their own file and
// never open or delete a user's file that has the probe's name.
TEST(FreeSpaceOutcome, ProbesLeaveAUsersFileOfTheirNameAlone) {
    TestMount m(TestMount::Kind::Tmpfs, 256);
    KELVANE_REQUIRE_MOUNT(m);
    const std::string user = m.Path() + "Morvik.$$$temp$$$";
    {
        std::FILE* f = std::fopen(user.c_str(), "wb");
        std::fputs("the user's own notes", f);
        std::fclose(f);
    }
    EXPECT_TRUE(ProbeWritableForDialog(m.WPath()));
    EXPECT_TRUE(ProbeWritableForRun(m.WPath(), u"Morvik.$$$temp$$$"));
    FakeRunWindow window;
    RunState state;
    state.drivesTable.AppendRow(m.Path());
    RunOnce(window, state);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Done);
    EXPECT_EQ(ReadWholeFile(user), "the user's own notes");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m.Path()))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"Morvik.$$$temp$$$"});
}

// A user who may not create files at a drive's root (the one partition "/")
// is offered the drive through their home folder; a drive with no such folder
// is named with the reason.
TEST(FreeSpaceOutcome, UnprivilegedUserIsOfferedTheDriveOfTheHomeFolder) {
    TestMount a(TestMount::Kind::Tmpfs, 4096);
    TestMount b(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(a);
    KELVANE_REQUIRE_MOUNT(b);
    // The test folders above the mounts must be passable for that user.
    for (const TestMount* m : {&a, &b}) {
        const std::string parent = m->Path().substr(0, m->Path().size() - 5);
        ASSERT_EQ(::chmod(parent.c_str(), 0755), 0) << parent;
    }
    const std::string home = a.Path() + "home/";
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(::chown(home.c_str(), 65534, 65534), 0);
    ScopedDriveList drives({a.WPath(), b.WPath()});
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::setenv("HOME", home.c_str(), 1);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(3);
        std::string out;
        const DriveOffer offer = OfferDrives();
        for (const auto& d : offer.offered) out += "+" + Utf8FromWide(d.root) + "\n";
        for (const auto& d : offer.leftOut)
            out += "-" + Utf8FromWide(d.root) + " " + Utf8FromWide(d.reason) + "\n";
        (void)!::write(fds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) got.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string want = "+";
    want.append(home).append("\n-").append(b.Path());
    want.append(" cannot create files: Permission denied\n");
    EXPECT_EQ(got, want);
}

// At start-up the program deletes what an interrupted run left, as its record
// proves, and says so.
TEST(FreeSpaceOutcome, StartUpDeletesLeftoversOfARecordedRunAndReportsThem) {
    TestMount m(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir storage;
    {
        // The file and its entry as a run makes them.
        HeldDrive drive;
        ASSERT_EQ(drive.Open(m.Path()), 0);
        FillRecord record;
        ASSERT_TRUE(record.Open(FillRecordPath(storage.Sub(""))));
        int fd = ::openat(drive.Fd(), "Old.name0000", O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        std::string quarter(1048576 / 4, 'f');
        ASSERT_EQ(::write(fd, quarter.data(), quarter.size()), 262144);
        FillerEntry e{drive.Path(), drive.Dev(), drive.Ino(), "Old.name0000"};
        ASSERT_TRUE(DescribeNewFiller(fd, true, e));
        ASSERT_TRUE(record.Add(e, true));
        ::close(fd);
    }
    AppSettings settings;
    FillerStartupReport r = RecoverFillersAtStart(storage.Sub(""), settings);
    ASSERT_EQ(r.logLines.size(), 1u);
    EXPECT_EQ(r.logLines[0], m.WPath() +
                                 u"Old.name0000 [Deleted filler file of an interrupted "
                                 u"free-space run, 262144 bytes]");
    EXPECT_EQ(r.statusText,
              u"Deleted 1 filler files of an interrupted free-space run (0 MB freed)");
    EXPECT_FALSE(PathExists(m.Path() + "Old.name0000"));
    EXPECT_FALSE(PathExists(FillRecordPath(storage.Sub(""))));
    EXPECT_TRUE(RecoverFillersAtStart(storage.Sub(""), settings).statusText.empty());
}
