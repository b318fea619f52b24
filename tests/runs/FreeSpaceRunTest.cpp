#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "platform/Platform.h"
#include "runs/FreeSpaceProgress.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TestMount.h"

namespace fs = std::filesystem;

namespace {

const std::u16string kHeader3 =
    u"\r\nShredding free disk space with 3 iterations\r\n"
    u"-------------------------------------------------\r\n";

// A clock that never moves and a shutdown that only counts.
class QuietPlatform {
  public:
    QuietPlatform()
        : scoped_(PlatformServices{[](const std::u16string&) { return false; },
                                   [this] {
                                       ++shutdowns;
                                       return true;
                                   },
                                   [] { return int64_t{1000}; }}) {}
    int shutdowns = 0;

  private:
    ScopedPlatform scoped_;
};

struct FreeSpaceHarness {
    FakeRunWindow& window;
    RunState state;
    int dialogShown = 0;

    explicit FreeSpaceHarness(FakeRunWindow& w) : window(w) {
        window.settings.diskShredBlockSize = 16384;
        window.settings.diskShredFileSize = 65536;
    }
    void AddDrive(const std::string& root) { state.drivesTable.AppendRow(root); }
    // Starts as the button does, the dialog answering `ok`, and waits for the end.
    bool StartAndWait(bool ok = true) {
        WorkerThreads threads;
        bool started = StartFreeSpaceRun(threads, window, state, [&] {
            ++dialogShown;
            return ok;
        });
        threads.JoinAll();
        return started;
    }
};

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

bool Has(const std::vector<std::u16string>& v, const std::u16string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST(FreeSpaceRun, OkWithNoDriveStillRunsLogsAndReportsDone) {
    QuietPlatform platform;
    FakeRunWindow window;
    FreeSpaceHarness run(window);
    run.state.SetElapsedText("01:02:03");  // left over from an earlier run
    EXPECT_TRUE(run.StartAndWait());
    EXPECT_EQ(run.dialogShown, 1);
    EXPECT_EQ(window.beginRunLogCalls, 1);
    ASSERT_EQ(window.logLines.size(), 1u);
    EXPECT_EQ(window.logLines[0], kHeader3);
    EXPECT_EQ(window.status, u"Shredding done. (00:00:00)");
    EXPECT_EQ(window.progressPos, 0);
    EXPECT_EQ(window.lockCalls, 1);
    EXPECT_EQ(window.unlockCalls, 1);
    EXPECT_TRUE(run.state.stop);
    EXPECT_EQ(window.endCalls, 0);
    EXPECT_EQ(window.clockText, u"00:00:00");
}

TEST(FreeSpaceRun, CancelStartsNothing) {
    QuietPlatform platform;
    FakeRunWindow window;
    FreeSpaceHarness run(window);
    run.state.startTime = 5;
    EXPECT_FALSE(run.StartAndWait(false));
    EXPECT_EQ(run.dialogShown, 1);
    EXPECT_EQ(window.beginRunLogCalls, 0);
    EXPECT_TRUE(window.logLines.empty());
    EXPECT_EQ(window.lockCalls, 0);
    EXPECT_TRUE(window.clockText.empty());
    EXPECT_TRUE(window.statusHistory.empty());
    EXPECT_EQ(run.state.startTime, 5);
    EXPECT_TRUE(run.state.stop) << "no run is going on";
}

TEST(FreeSpaceRun, IterationsOutsideOneTo300GiveThree) {
    QuietPlatform platform;
    for (const char16_t* text : {u"0", u"301", u"many", u"", u"-5"}) {
        FakeRunWindow window;
        window.iterationsText = text;
        FreeSpaceHarness run(window);
        run.StartAndWait();
        ASSERT_EQ(window.logLines.size(), 1u);
        EXPECT_EQ(window.logLines[0], kHeader3) << Utf8FromWide(text);
    }
    const std::pair<const char16_t*, const char16_t*> valid[] = {
        {u"1", u"1"}, {u"300", u"300"}, {u" 42x", u"42"}};
    for (const auto& [text, count] : valid) {
        FakeRunWindow window;
        window.iterationsText = text;
        FreeSpaceHarness run(window);
        run.StartAndWait();
        ASSERT_EQ(window.logLines.size(), 1u);
        EXPECT_EQ(window.logLines[0], u"\r\nShredding free disk space with " +
                                          std::u16string(count) + u" iterations\r\n" +
                                          std::u16string(49, u'-') + u"\r\n");
    }
}

TEST(FreeSpaceRun, FillsEachDriveAndReportsInLogBarAndStatus) {
    QuietPlatform platform;
    TestMount a(TestMount::Kind::Tmpfs, 512);
    TestMount b(TestMount::Kind::Tmpfs, 2048);
    KELVANE_REQUIRE_MOUNT(a);
    KELVANE_REQUIRE_MOUNT(b);
    FakeRunWindow window;
    window.iterationsText = u"2";
    FreeSpaceHarness run(window);
    run.AddDrive(a.Path());
    run.AddDrive(b.Path());
    run.StartAndWait();

    // 512 KiB in files of 64 KiB: eight full ones and the empty ninth.
    const std::u16string baseA = a.WPath() + u"Morvik.$$$temp$$$";
    EXPECT_EQ(window.logLines[1], baseA + u"0000 [Temporary file]");
    EXPECT_TRUE(Has(window.logLines, baseA + u"0008 [Temporary file]"));
    EXPECT_TRUE(Has(window.logLines, b.WPath() + u"Morvik.$$$temp$$$0008 [Temporary file]"));
    // Less than 1 MB free: kilobytes, still called MB.
    EXPECT_TRUE(Has(window.statusHistory,
                    u"Shredding free drive space: " + baseA + u"0000 [0 / 512 MB - 0 %]"));
    EXPECT_TRUE(Has(window.statusHistory,
                    u"Shredding free drive space: " + baseA + u"0004 [272 / 512 MB - 53 %]"));
    // 2 MB free: megabytes.
    EXPECT_TRUE(std::any_of(window.statusHistory.begin(), window.statusHistory.end(), [&](auto& s) {
        return s.rfind(u"Shredding free drive space: " + b.WPath(), 0) == 0 &&
               s.find(u" [1 / 2 MB - 50 %]") != std::u16string::npos;
    }));
    // The bar counts kilobytes of the drive being filled.
    EXPECT_EQ(window.progressUpper, 2048);
    EXPECT_TRUE(std::find(window.progressHistory.begin(), window.progressHistory.end(), 272) !=
                window.progressHistory.end());
    EXPECT_EQ(window.progressPos, 0);
    // A status text is only set when it changes.
    for (size_t i = 1; i < window.statusHistory.size(); ++i)
        EXPECT_NE(window.statusHistory[i], window.statusHistory[i - 1]);
    EXPECT_EQ(window.status, u"Shredding done. (00:00:00)");
    EXPECT_TRUE(Names(a.Path()).empty());
    EXPECT_TRUE(Names(b.Path()).empty());
}

TEST(FreeSpaceRun, StopDuringTheFirstDriveCleansItAndLeavesTheSecondAlone) {
    QuietPlatform platform;
    TestMount a(TestMount::Kind::Tmpfs, 512);
    TestMount b(TestMount::Kind::Tmpfs, 512);
    KELVANE_REQUIRE_MOUNT(a);
    KELVANE_REQUIRE_MOUNT(b);

    // The Stop button, pressed while the fifth file of the first drive is written.
    class StoppingWindow : public FakeRunWindow {
      public:
        std::atomic<bool>* stop = nullptr;
        std::u16string trigger;
        void SetStatusText(const std::u16string& text) override {
            FakeRunWindow::SetStatusText(text);
            if (text.find(trigger) != std::u16string::npos) *stop = true;
        }
    } window;
    FreeSpaceHarness run(window);
    window.stop = &run.state.stop;
    window.trigger = a.WPath() + u"Morvik.$$$temp$$$0004";
    run.AddDrive(a.Path());
    run.AddDrive(b.Path());
    run.StartAndWait();

    EXPECT_TRUE(Has(window.logLines, window.trigger + u" [Temporary file]"));
    EXPECT_FALSE(Has(window.logLines, a.WPath() + u"Morvik.$$$temp$$$0005 [Temporary file]"));
    EXPECT_TRUE(Names(a.Path()).empty()) << "the first drive's temporary files are removed";
    EXPECT_TRUE(Names(b.Path()).empty());
    for (const auto& line : window.logLines)
        EXPECT_EQ(line.find(b.WPath()), std::u16string::npos) << Utf8FromWide(line);
    for (const auto& text : window.statusHistory)
        EXPECT_EQ(text.find(b.WPath()), std::u16string::npos) << Utf8FromWide(text);
    EXPECT_EQ(window.status, u"Shredding interrupted. (00:00:00)");
    EXPECT_EQ(window.unlockCalls, 1);
}

TEST(FreeSpaceRun, DrivesModeSkipsTheDialogAndEndsTheProgram) {
    QuietPlatform platform;
    TestMount a(TestMount::Kind::Tmpfs, 128);
    KELVANE_REQUIRE_MOUNT(a);
    FakeRunWindow window;
    window.endAction = 0;  // "Do nothing"
    FreeSpaceHarness run(window);
    run.state.exitAfterFreeSpaceRun = true;
    run.AddDrive(a.Path());
    EXPECT_TRUE(run.StartAndWait(false));
    EXPECT_EQ(run.dialogShown, 0);
    EXPECT_TRUE(Has(window.logLines, a.WPath() + u"Morvik.$$$temp$$$0000 [Temporary file]"));
    EXPECT_EQ(window.storeCalls, 1);
    EXPECT_EQ(window.endCalls, 1);
    EXPECT_EQ(platform.shutdowns, 0);
}

TEST(FreeSpaceRun, StatusTextAmountsAndLimits) {
    const std::u16string d = u"Disk: ";
    EXPECT_EQ(FreeSpaceStatusText(d, 300ull << 20, 900ull << 20, u"/m/f0003"),
              u"Disk: /m/f0003 [300 / 900 MB - 33 %]");
    EXPECT_EQ(FreeSpaceStatusText(d, 100 * 1024, 512 * 1024, u"p"),
              u"Disk: p [100 / 512 MB - 19 %]");
    // Under 1 KB free: the total shows as 1024.
    EXPECT_EQ(FreeSpaceStatusText(d, 0, 512, u"p"), u"Disk: p [0 / 1024 MB - 0 %]");
    EXPECT_EQ(FreeSpaceStatusText(d, 0, 0, u"p"), u"Disk: p [0 / 1024 MB - 0 %]");
    // 64 TiB: the percentage is computed without wrapping.
    EXPECT_EQ(FreeSpaceStatusText(d, 48ull << 40, 64ull << 40, u"p"),
              u"Disk: p [50331648 / 67108864 MB - 75 %]");
    // A language text with format signs in it is shown as it stands.
    EXPECT_EQ(FreeSpaceStatusText(u"%s %n ", 0, 1 << 20, u"p"), u"%s %n p [0 / 1 MB - 0 %]");
}

TEST(FreeSpaceRun, ProgressBarStaysInRangeOnHugeDrives) {
    FakeRunWindow window;
    FreeSpaceProgress progress(window);
    FillNotifications n = progress.Notifications();
    const uint64_t f = 16ull << 40;  // 16 TiB: 2^34 KiB
    n.driveStarted(f);
    EXPECT_GT(window.progressUpper, 0);
    n.progress(f / 2, f, u"p");
    EXPECT_GT(window.progressPos, 0);
    EXPECT_NEAR(static_cast<double>(window.progressPos) / window.progressUpper, 0.5, 0.001);
    n.driveStarted(1 << 20);
    EXPECT_EQ(window.progressUpper, 1024);
}
