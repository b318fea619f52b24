// The window and a command line that would reach too far: "." and "..", handed
// over by a later start too, and the desktop's "Shred the trash", which asks
// once whatever "Confirm delete" says.
#include <unistd.h>

#include <QCoreApplication>
#include <QPushButton>
#include <climits>
#include <cstdlib>

#include "config/TextConv.h"
#include "platform/Volumes.h"
#include "support/TestText.h"
#include "ui/MainWindowFixture.h"
#include "ui/RunSummaryDlg.h"

namespace {

bool WaitIdle(CKelvaneDlg& dlg) {
    return WaitUntil([&] { return dlg.Workers().AllDone() && !dlg.IsLocked(); }, 60000);
}

class RootSafetyUi : public MainWindowFixture {
  protected:
    void NoQuestions() {
        dir_.WriteFile("home/.config/Tessarin/Kelvane/Kelvane.ini",
                       SettingsXml("  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n"));
    }
};

}  // namespace

TEST_F(RootSafetyUi, DotOperandsGetAMessageAndNothingIsListedOrShredded) {
    TempDir sel;
    sel.WriteFile("x/y/secret", "s");
    sel.WriteFile("x/keep", "k");
    char here[PATH_MAX];
    ASSERT_NE(::getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(::chdir(sel.Sub("x/y").c_str()), 0);

    MessageBoxes::ClearHistory();
    auto dlg = std::make_unique<CKelvaneDlg>(Where());
    dlg->SetCommandLine({u"kelvane", u"secret", u".."});
    dlg->show();
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    ASSERT_EQ(MessageBoxes::History().size(), 1u);
    EXPECT_TRUE(MessageBoxes::History()[0].text.startsWith(QStringLiteral("Refused: '..' ends in")))
        << MessageBoxes::History()[0].text.toStdString();

    // What a later start hands over gets the same answer.
    dlg->TakeHandedPaths({sel.WSub("x/y/."), sel.WSub("x/keep")});
    ASSERT_TRUE(WaitUntil([] { return MessageBoxes::History().size() == 2; }));
    ASSERT_TRUE(WaitIdle(*dlg));
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    dlg.reset();

    // "-exec ..": nothing listed, nothing shredded, the window ends with status 4.
    NoQuestions();
    auto exec = std::make_unique<CKelvaneDlg>(Where());
    exec->SetCommandLine({u"kelvane", u"-exec", u".."});
    exec->show();
    ASSERT_TRUE(WaitUntil([&] { return !exec->isVisible(); }));
    EXPECT_EQ(exec->ExitCode(), 4);
    exec.reset();
    ASSERT_EQ(::chdir(here), 0);
    EXPECT_TRUE(PathExists(sel.Sub("x/y/secret")));
    EXPECT_TRUE(PathExists(sel.Sub("x/keep")));
}

TEST_F(RootSafetyUi, ShredTheTrashFromTheDesktopShowsTheSummaryWithConfirmOff) {
    NoQuestions();
    TempDir data;
    data.WriteFile("Trash/files/old.txt", "thrown away");
    data.WriteFile("Trash/info/old.txt.trashinfo",
                   "[Trash Info]\nPath=/tmp/old.txt\nDeletionDate=2025-03-04T05:06:07\n");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedData = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
    ScopedDriveList noDrives({});

    int shown = 0;
    CRunSummaryDlg::SetShownHook([&](CRunSummaryDlg& box) {
        ++shown;
        QTest::mouseClick(box.CancelButton(), Qt::LeftButton);
    });
    auto dlg = std::make_unique<CKelvaneDlg>(Where());
    dlg->SetCommandLine({u"kelvane", u"-trash", u"--ask"});
    dlg->show();
    ASSERT_TRUE(WaitUntil([&] { return shown > 0 && dlg->Workers().AllDone(); }, 60000));
    dlg.reset();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(PathExists(data.Sub("Trash/files/old.txt")));
    CRunSummaryDlg::SetShownHook(nullptr);

    if (saved)
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}
