// File > Schedules…: a job made from the ticked entries of the list through the
// built kelvane-cli, shown with its calendar and next run, and removed again.
// systemctl is a script of the test.
#include <sys/stat.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <cstdlib>

#include "MainWindowFixture.h"
#include "platform/qt/QtText.h"
#include "support/TempDir.h"
#include "ui/ScheduleDlg.h"
#include "uisupport/Screenshot.h"

namespace {

class ScheduleUi : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        const std::string fake = dir_.Sub("systemctl");
        TempDir::WriteFileAt(
            fake, "#!/bin/sh\necho \"$*\" >> '" + dir_.Sub("calls") +
                      "'\n[ \"$2\" = show ] && echo NextElapseUSecRealtime=@1900000000\nexit 0\n");
        ::chmod(fake.c_str(), 0755);
        ::setenv("KELVANE_SYSTEMCTL", fake.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir_.Sub("home/.config").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KELVANE_SYSTEMCTL");
        ::unsetenv("XDG_CONFIG_HOME");
        CScheduleDlg::SetNextAction(nullptr);
        MainWindowFixture::TearDown();
    }
};

TEST_F(ScheduleUi, TheTickedFolderBecomesAJobThatIsListedAndRemoved) {
    dir_.MakeDir("Downloads/sub");
    dir_.WriteFile("Downloads/sub/a.txt", "a");
    dir_.WriteFile("Downloads/b.txt", "b");
    auto dlg = Open();
    dlg->OnDropPaths({dir_.WSub("Downloads")});
    ASSERT_TRUE(
        WaitUntil([&] { return dlg->Workers().AllDone() && dlg->List().GetItemCount() >= 3; }));

    bool acted = false;
    std::vector<QString> whats;
    CScheduleDlg::SetNextAction([&](CScheduleDlg& s) {
        acted = true;
        // The folder, once: not each file it holds now.
        EXPECT_TRUE(s.TickedChoice()->isChecked());
        EXPECT_TRUE(s.TickedChoice()->text().endsWith(QStringLiteral("(1)")))
            << s.TickedChoice()->text().toStdString();
        s.EveryBox()->setCurrentIndex(1);
        s.AtEdit()->setTime(QTime(2, 30));
        s.AddButton()->click();
        EXPECT_TRUE(WaitUntil([&] { return !s.Busy() && s.JobList()->topLevelItemCount() == 1; }));
        if (QTreeWidgetItem* job = s.JobList()->topLevelItem(0)) {
            whats.push_back(job->text(1));
            EXPECT_EQ(job->text(2), QStringLiteral("Mon *-*-* 02:30:00"));
            EXPECT_NE(job->text(3), QStringLiteral("-"));
            SaveScreenshot(&s, QStringLiteral("schedule-dialog"));
            s.JobList()->setCurrentItem(job);
        }
        s.RemoveButton()->click();
        EXPECT_TRUE(WaitUntil([&] { return !s.Busy() && s.JobList()->topLevelItemCount() == 0; }));
        s.EndDialog(IDCANCEL);
    });
    dlg->OnCommand(CKelvaneDlg::ID_SCHEDULE);
    EXPECT_TRUE(acted);
    ASSERT_EQ(whats.size(), 1u);
    EXPECT_EQ(whats[0], ToQ(dir_.WSub("Downloads")));
    const std::string calls = ReadWholeFile(dir_.Sub("calls"));
    EXPECT_NE(calls.find("enable --now kelvane-job-"), std::string::npos) << calls;
    EXPECT_NE(calls.find("disable --now kelvane-job-"), std::string::npos) << calls;
    // The files are untouched: scheduling shreds nothing now.
    EXPECT_EQ(ReadWholeFile(dir_.Sub("Downloads/sub/a.txt")), "a");
}

}  // namespace
