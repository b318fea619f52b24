// The desktop sees a run: its share done in the window title, and a notice at the
// end of a longer run that the user did not watch.
#include <QLabel>

#include "platform/qt/DesktopNotify.h"
#include "runs/RunState.h"
#include "ui/MainWindowFixture.h"

namespace {

class DesktopProgress : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        QGuiApplication::setDesktopFileName(QStringLiteral("example.kelvane.Kelvane"));
        SetDesktopNotifier(
            [this](const QString& summary, const QString& body, const QString& icon) {
                notices.emplace_back(summary, body);
                icons.push_back(icon);
                return true;
            });
    }
    void TearDown() override {
        SetDesktopNotifier([](const QString&, const QString&, const QString&) { return false; });
        QGuiApplication::setDesktopFileName(QString());
        MainWindowFixture::TearDown();
    }
    // A run as the run frame drives the window, ending with `outcome`.
    static void Run(CKelvaneDlg& dlg, RunOutcome outcome, const std::u16string& status) {
        dlg.LockForRun();
        dlg.SetProgressRange(10);
        dlg.SetProgressPos(10);
        dlg.SetStatusText(status);
        dlg.State().lastOutcome = outcome;
        dlg.UnlockAfterRun();
    }
    std::vector<std::pair<QString, QString>> notices;
    std::vector<QString> icons;
};

}  // namespace

TEST_F(DesktopProgress, TitleShowsTheShareDoneAndAnUnwatchedRunEndsWithANotice) {
    auto dlg = Open();
    EXPECT_EQ(dlg->windowTitle(), "Kelvane");
    dlg->LockForRun();
    EXPECT_EQ(dlg->windowTitle(), "0 % - Kelvane");
    dlg->SetProgressRange(200);
    dlg->SetProgressPos(50);
    EXPECT_EQ(dlg->windowTitle(), "25 % - Kelvane");
    dlg->SetProgressPos(199);
    EXPECT_EQ(dlg->windowTitle(), "99 % - Kelvane");
    dlg->SetProgressPos(200);
    EXPECT_EQ(dlg->windowTitle(), "100 % - Kelvane");
    // A file run hands its progress over in batches: the title follows them too.
    dlg->ApplyUpdates({{WindowUpdate::Kind::kProgressPos, 60, {}}});
    EXPECT_EQ(dlg->windowTitle(), "30 % - Kelvane");
    dlg->SetNotifyAfter(0);
    dlg->State().lastOutcome = RunOutcome::Done;
    dlg->UnlockAfterRun();
    EXPECT_EQ(dlg->windowTitle(), "Kelvane") << "back to the name after the run";
    EXPECT_TRUE(notices.empty()) << "the user watched the run";

    // The user went to another window.
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other, 2000));
    ASSERT_FALSE(dlg->isActiveWindow());
    Run(*dlg, RunOutcome::Done, u"Shredding done. (00:00:07)");
    Run(*dlg, RunOutcome::Partly, u"Shredding partly done. (00:00:08)");
    Run(*dlg, RunOutcome::Interrupted, u"Shredding interrupted. (00:00:09)");
    Run(*dlg, RunOutcome::NothingToShred, u"No file(s) available!");
    ASSERT_EQ(notices.size(), 3u) << "nothing to shred is no run to tell of";
    // The body adds to the title rather than repeating it; the program's own icon.
    EXPECT_EQ(notices[0],
              std::make_pair(QStringLiteral("Shredding done."), QStringLiteral("00:00:07")));
    EXPECT_EQ(notices[1].first, "Shredding partly done.");
    EXPECT_EQ(notices[2].first, "Shredding interrupted.");
    EXPECT_EQ(notices[2].second, "00:00:09");
    EXPECT_EQ(icons[0], "example.kelvane.Kelvane");

    // A short run needs no notice; the language words it.
    dlg->SetNotifyAfter(60000);
    Run(*dlg, RunOutcome::Done, u"x");
    EXPECT_EQ(notices.size(), 3u);
    dlg->SetNotifyAfter(0);
    dlg->SetTextLookup([](std::string_view key) -> std::u16string {
        return key == "FrmMain.m_acMShreddingPartly" ? u"Schreddern teilweise beendet."
                                                     : std::u16string();
    });
    Run(*dlg, RunOutcome::Partly, u"y");
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[3].first, QString::fromUtf8("Schreddern teilweise beendet."));
}
