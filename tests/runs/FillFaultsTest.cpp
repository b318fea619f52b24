// A fill that did not reach what it should never ends as "done": a drive that
// went away, a device that failed late, a drive that is not there; and what it
// could not reach is in the status line. Copy-on-write drives get the one pass
// that reaches anything.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "config/CommandLine.h"
#include "config/TextConv.h"
#include "engine/FillDrive.h"
#include "platform/FillSystem.h"
#include "platform/Volumes.h"
#include "runs/FillOutcomeText.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

constexpr uint64_t kKiB = 1024;

FillParams Params() {
    FillParams p;
    p.blockSize = 16 * kKiB;
    p.fileSizeLimit = 256 * kKiB;
    p.random = false;
    p.iterations = 1;
    return p;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename());
    return names;
}

void RunDrives(FakeRunWindow& window, RunState& state, char16_t iterations) {
    window.settings.diskShredBlockSize = 65536;
    window.settings.diskShredFileSize = 4 * 1024 * 1024;
    window.iterationsText.assign(1, iterations);
    WorkerThreads threads;
    ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
    threads.JoinAll();
}

bool HasLine(const FakeRunWindow& w, const std::u16string& line) {
    return std::find(w.logLines.begin(), w.logLines.end(), line) != w.logLines.end();
}

bool AnyLineHas(const FakeRunWindow& w, const std::u16string& part) {
    return std::any_of(w.logLines.begin(), w.logLines.end(),
                       [&](const std::u16string& l) { return l.find(part) != l.npos; });
}

bool StartsWith(const std::u16string& text, const std::u16string& head) {
    return text.compare(0, head.size(), head) == 0;
}

}  // namespace

// A lazy unmount in the middle of the fill: the drive fails, no file is made
// in the folder that was underneath, and nothing is trimmed there.
TEST(FillFaults, DriveThatGoesAwayFailsAndNothingLandsUnderneath) {
    TestMount under(TestMount::Kind::Tmpfs, 256);
    KELVANE_REQUIRE_MOUNT(under);
    ASSERT_EQ(::mount("tmpfs", under.Path().c_str(), "tmpfs", 0, "size=4m"), 0);
    FillParams p = Params();
    FillRun run(p);
    std::vector<std::u16string> notes;
    FillNotifications n;
    bool detached = false;
    n.progress = [&](uint64_t written, uint64_t, const std::u16string&) {
        if (!detached && written >= 512 * kKiB)
            detached = ::umount2(under.Path().c_str(), MNT_DETACH) == 0;
    };
    n.note = [&](const std::u16string& line) { notes.push_back(line); };
    std::atomic<bool> stop{false};
    const FillOutcome out = FillDrive(under.WPath(), p, run, n, stop);
    ASSERT_TRUE(detached);
    EXPECT_TRUE(StartsWith(FillOutcomeLine(under.WPath(), out),
                           under.WPath() + u" [FAILED!] the drive went away, "))
        << Utf8FromWide(FillOutcomeLine(under.WPath(), out));
    EXPECT_TRUE(Names(under.Path()).empty());
    for (const std::u16string& line : notes)
        EXPECT_EQ(line.find(u"[TRIM"), line.npos) << Utf8FromWide(line);
}

// A device that takes the writes into the cache and fails them when synced:
// the last pass (the only one of a 1-pass fill) is checked too.
TEST(FillFaults, DeviceFailingWhenSyncedFailsTheDrive) {
    TestMount m(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(m);
    FillSystemCalls calls = DefaultFillSystemCalls();
    calls.kind = [](int) { return FsKind::Xfs; };  // cached writes, as on xfs
    calls.sync = [](int, bool) { return EIO; };
    ScopedFillSystem failing(calls);
    for (int passes : {1, 3}) {
        FillParams p = Params();
        p.iterations = passes;
        FillRun run(p);
        std::atomic<bool> stop{false};
        const FillOutcome out = FillDrive(m.WPath(), p, run, {}, stop);
        EXPECT_TRUE(StartsWith(FillOutcomeLine(m.WPath(), out),
                               m.WPath() + u" [FAILED!] write error: Input/output error, "))
            << passes << ": " << Utf8FromWide(FillOutcomeLine(m.WPath(), out));
        EXPECT_TRUE(Names(m.Path()).empty()) << passes;
    }
}

// "kelvane -drives /no/such/folder/": the drive is named and the run fails.
TEST(FillFaults, MissingDriveOfTheCommandLineFailsTheRun) {
    struct Target : CommandLineTarget {
        RunState& state;
        explicit Target(RunState& s) : state(s) {}
        void QueueEntry(const std::u16string&) override {}
        void AddDrive(const std::string& root) override { state.drivesTable.AppendRow(root); }
    };
    TempDir t;
    t.WriteFile("file", "x");
    RunState state;
    state.drivesTable.SetSize(1, 0);
    Target target(state);
    ASSERT_TRUE(
        ProcessCommandLine({u"kelvane", u"-drives", u"/no/such/folder/", t.WSub("file")}, target)
            .drives);
    FakeRunWindow window;
    RunDrives(window, state, u'1');
    EXPECT_TRUE(HasLine(window, u"/no/such/folder/ [FAILED!] not found"));
    EXPECT_TRUE(HasLine(window, t.WSub("file/") + u" [FAILED!] not a folder"));
    EXPECT_TRUE(StartsWith(window.status, u"Shredding partly done. ("));
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);
}

// btrfs: two passes asked, one written (later passes have no new blocks to
// go to), done; and no root reserve claimed for a user's run.
TEST(FillFaults, CopyOnWriteDriveGetsOnePassAndIsDone) {
    TestMount m("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(m);
    FillSystemCalls calls = DefaultFillSystemCalls();
    calls.mayUseRootReserve = [] { return false; };
    calls.trim = [](int) { return EOPNOTSUPP; };
    ScopedFillSystem asUser(calls);
    FakeRunWindow window;
    RunState state;
    state.drivesTable.AppendRow(m.Path());
    RunDrives(window, state, u'2');
    EXPECT_TRUE(HasLine(window, m.WPath() + u" [1 pass: copy-on-write file system]"));
    EXPECT_TRUE(AnyLineHas(window, m.WPath() + u" [done] "));
    EXPECT_FALSE(AnyLineHas(window, u"out of reach"));
    EXPECT_TRUE(StartsWith(window.status, u"Shredding done. (")) << Utf8FromWide(window.status);
    EXPECT_EQ(window.status.find(u"kept back"), std::u16string::npos);
}

// A user's run cannot write what ext4 keeps back for root, nor what ext4 keeps
// for its own metadata: the status line says how much of each, not only the
// log, and together they are the difference between free and available.
TEST(FillFaults, RootReserveOutOfReachIsInTheStatusLine) {
    TestMount m(TestMount::Kind::Ext4Defaults, 32 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    FillSystemCalls calls = DefaultFillSystemCalls();
    calls.mayUseRootReserve = [] { return false; };
    ScopedFillSystem asUser(calls);
    const DriveSpace space = QueryDriveSpace(m.WPath());
    const uint64_t kept = space.totalFree - space.freeToCaller;
    ASSERT_GT(kept, 0u);
    FakeRunWindow window;
    RunState state;
    state.drivesTable.AppendRow(m.Path());
    RunDrives(window, state, u'1');
    EXPECT_TRUE(StartsWith(window.status, u"Shredding done. (")) << Utf8FromWide(window.status);
    // "..., R MB kept back for root not reached, M MB the file system keeps for
    // itself not reached)": R and M rounded up, together the kept bytes.
    const std::string status = Utf8FromWide(window.status);
    const size_t root = status.find(" MB kept back for root not reached");
    const size_t own = status.find(" MB the file system keeps for itself not reached)");
    ASSERT_NE(root, std::string::npos) << status;
    ASSERT_NE(own, std::string::npos) << status;
    auto number = [&](size_t end) {
        size_t start = end;
        while (start > 0 && status[start - 1] >= '0' && status[start - 1] <= '9') --start;
        return std::stoull(status.substr(start, end - start));
    };
    EXPECT_GT(number(root), 0u);
    EXPECT_GT(number(own), 0u);
    EXPECT_GE((number(root) + number(own)) * 1048576, kept) << status;
    EXPECT_LE((number(root) + number(own) - 2) * 1048576, kept) << status;
}
