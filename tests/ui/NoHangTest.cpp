// A drive that never answers (a server gone, a hung FUSE daemon) must not hold
// the window: it comes up at once, its commands work, and what waits for that
// drive says so and is given up after a bound.
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "config/TextConv.h"
#include "filelist/StringTable.h"
#include "log/LogLines.h"
#include "platform/BoundedCall.h"
#include "platform/Volumes.h"
#include "platform/qt/ListCtrlView.h"
#include "platform/qt/QtText.h"
#include "support/DeadMount.h"
#include "support/TestMount.h"
#include "support/TestText.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"

namespace {

class NoHang : public MainWindowFixture {
  protected:
    void TearDown() override {
        CKelvaneDlg::SetFillerRecovery(nullptr);
        CDriveDlg::SetNextAction(nullptr);
        MainWindowFixture::TearDown();
    }
    // Shown and answering: a menu command reaches its handler and a timer fires.
    static void ExpectUsable(CKelvaneDlg& dlg) {
        EXPECT_TRUE(dlg.isVisible());
        QSignalSpy issued(&dlg, &CKelvaneDlg::CommandIssued);
        dlg.MenuAction(CKelvaneDlg::ID_SELECT_ALL)->trigger();
        EXPECT_EQ(issued.count(), 1);
        bool turned = false;
        QTimer::singleShot(0, &dlg, [&] { turned = true; });
        EXPECT_TRUE(WaitUntil([&] { return turned; }, 200));
    }
    static QString TipOfRow(CKelvaneDlg& dlg, int row) {
        auto& model = dlg.ListView()->Model();
        return model.data(model.index(row, 0), Qt::ToolTipRole).toString();
    }
};

}  // namespace

TEST_F(NoHang, ADeadMountHoldsNeitherTheStartNorTheTipsNorTheDriveDialog) {
    DeadMount dead;
    KELVANE_REQUIRE_DEAD_MOUNT(dead);
    TestMount good(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(good);
    ScopedDriveList drives({dead.WPath(), good.WPath()});

    // The start-up clean-up looks at every drive.
    QElapsedTimer clock;
    clock.start();
    auto dlg = Open();
    EXPECT_LT(clock.elapsed(), 1000) << "the window waited for the dead drive";
    ExpectUsable(*dlg);

    // A file on the dead drive in the list: its tip and mark never wait.
    dlg->AppendRow(u"x.txt", u"1", u"2024-01-01 00:00", dead.WPath() + u"x.txt");
    clock.restart();
    const QString tip = TipOfRow(*dlg, 0);
    auto& model = dlg->ListView()->Model();
    (void)model.data(model.index(0, 0), Qt::DecorationRole);
    EXPECT_LT(clock.elapsed(), 200);
    EXPECT_TRUE(tip.contains(QStringLiteral("being checked"))) << tip.toStdString();
    EXPECT_TRUE(
        WaitUntil([&] { return TipOfRow(*dlg, 0).contains(QStringLiteral("not answering")); },
                  static_cast<int>(bounded::kAnswerBound.count()) + 3000));
    ExpectUsable(*dlg);

    // The drive dialog comes up at once and leaves the dead drive out.
    QWidget host;
    FontHolder fonts(&host);
    StringTable table;
    table.SetSize(1, 0);
    CDriveDlg drive(&host);
    bool shownAtOnce = false;
    QTimer::singleShot(300, &drive, [&] {
        shownAtOnce = drive.isVisible() && drive.LeftOutLabel()->text().contains(
                                               QStringLiteral("Looking at the drives"));
    });
    QString leftOut;
    int offered = -1;
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        leftOut = d.LeftOutLabel()->text();
        offered = d.DriveList()->topLevelItemCount();
        d.CancelButton()->click();
    });
    clock.restart();
    drive.DoModal(fonts, table);
    EXPECT_TRUE(shownAtOnce);
    EXPECT_LT(clock.elapsed(), bounded::kAnswerBound.count() + 2000);
    EXPECT_EQ(offered, 1);
    EXPECT_TRUE(leftOut.contains(ToQ(dead.WPath()) + QStringLiteral(" (not answering)")))
        << leftOut.toStdString();
    EXPECT_FALSE(dead.AbortedByWatchdog()) << "something waited for the dead drive";
    dlg.reset();
}

// A clean-up that a drive holds keeps no window waiting, and no fill starts
// beside it; once it ends, its lines reach the log even when no run follows.
TEST_F(NoHang, AStuckCleanUpRefusesTheFillAndItsLinesReachTheLogAtTheEnd) {
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    CKelvaneDlg::SetFillerRecovery([&](const std::string&, const AppSettings&) {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return release; });
        FillerStartupReport r;
        r.logLines = {u"/d/Filler0000 [Deleted filler file of an interrupted free-space run]"};
        r.statusText = u"Deleted 1 filler files of an interrupted free-space run (0 MB freed)";
        return r;
    });
    QElapsedTimer clock;
    clock.start();
    auto dlg = Open();
    EXPECT_LT(clock.elapsed(), 1000);
    ExpectUsable(*dlg);
    dlg->MenuAction(CKelvaneDlg::ID_ENABLE_LOG)->setChecked(true);
    EXPECT_TRUE(dlg->CleanUpPending());

    bool dialogAsked = false;
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        dialogAsked = true;
        d.CancelButton()->click();
    });
    dlg->OnShredFreeSpace();
    EXPECT_FALSE(dialogAsked);
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_TRUE(TextOf(dlg->Control(CKelvaneDlg::IDC_STATUS)).contains("still being deleted"));

    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    cv.notify_all();
    EXPECT_TRUE(WaitUntil([&] {
        return TextOf(dlg->Control(CKelvaneDlg::IDC_STATUS)).startsWith("Deleted 1 filler");
    }));
    EXPECT_FALSE(dlg->CleanUpPending());
    const std::string log = dlg->LogPath();
    dlg.reset();
    EXPECT_NE(Utf8FromLe(ReadWholeFile(log)).find("/d/Filler0000 [Deleted filler file"),
              std::string::npos);
}
