// Files chosen on their own through the window (Add files, a drop, a second
// start's hand-over, the command line) are shredded only in the very folder
// they were listed in; a chosen folder whose rows have all left the list is
// chosen no more.
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <cstdio>

#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "runs/ShredPool.h"
#include "support/TestText.h"
#include "ui/MainWindowFixture.h"
#include "ui/XMessageBox.h"

namespace {

class ChosenFoldersUi : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        dir_.WriteFile("stay", "keeps the test folder");
    }
    void TearDown() override {
        SetBeforeFileJobHook(nullptr);
        XMessageBox::ClearTestHooks();
        MainWindowFixture::TearDown();
    }
    static bool Idle(CKelvaneDlg& dlg) { return dlg.Workers().AllDone() && !dlg.IsLocked(); }
    static QString Status(CKelvaneDlg& dlg) {
        return static_cast<QLabel*>(dlg.Control(CKelvaneDlg::IDC_STATUS))->text();
    }
    // "Shred files" without a question per file; waits for the end of the run.
    static void Shred(CKelvaneDlg& dlg) {
        static_cast<QCheckBox*>(dlg.Control(CKelvaneDlg::IDC_CONFIRM))->setChecked(false);
        dlg.OnCommand(CKelvaneDlg::IDC_SHRED);
        ASSERT_TRUE(WaitUntil([&] { return Idle(dlg); }));
        dlg.Workers().JoinAll();
    }
    // `rel`/shared/docs/report.txt and `rel`/victim/docs/report.txt; returns the first.
    std::u16string SharedAndVictim(const std::string& rel) {
        dir_.WriteFile(rel + "/shared/docs/report.txt", "mine");
        dir_.WriteFile(rel + "/victim/docs/report.txt", "theirs");
        return dir_.WSub(rel + "/shared/docs/report.txt");
    }
    // The shared folder goes aside and a link to the victim's takes its name.
    void SwapForLink(const std::string& rel) {
        ASSERT_EQ(::rename(dir_.Sub(rel + "/shared/docs").c_str(),
                           dir_.Sub(rel + "/shared/docs.x").c_str()),
                  0);
        ASSERT_EQ(::symlink(dir_.Sub(rel + "/victim/docs").c_str(),
                            dir_.Sub(rel + "/shared/docs").c_str()),
                  0);
    }
    std::string Log(CKelvaneDlg& dlg) { return Utf8FromLe(ReadWholeFile(dlg.LogPath())); }
};

}  // namespace

TEST_F(ChosenFoldersUi, AFileAddedDroppedHandedOverOrGivenIsShreddedOnlyInItsOwnFolder) {
    auto dlg = Open();
    for (const std::string way : {"add", "drop", "handed"}) {
        const std::u16string chosen = SharedAndVictim(way);
        if (way == "add") {
            FileDialogs::SetNextOpenFiles({ToQ(chosen)});
            dlg->OnCommand(CKelvaneDlg::ID_ADD_FILES);
        } else if (way == "drop") {
            dlg->OnDropPaths({chosen});
        } else {
            dlg->TakeHandedPaths({chosen});
        }
        ASSERT_TRUE(WaitUntil([&] { return Idle(*dlg) && dlg->List().GetItemCount() == 1; }))
            << way;
        SwapForLink(way);
        Shred(*dlg);
        EXPECT_EQ(ReadWholeFile(dir_.Sub(way + "/victim/docs/report.txt")), "theirs") << way;
        EXPECT_EQ(dlg->List().GetItemCount(), 1) << way;
        EXPECT_TRUE(Status(*dlg).startsWith(QStringLiteral("Shredding partly done."))) << way;
        EXPECT_NE(Log(*dlg).find(Utf8FromWide(chosen) + " [FAILED! the folder changed]\r\n"),
                  std::string::npos)
            << way;
        dlg->OnClearList();
    }

    // "-exec": listed at start-up, swapped just before the run reaches it.
    const std::u16string chosen = SharedAndVictim("exec");
    XMessageBox::SetOnShown([](XMessageBox* box) {
        QTest::mouseClick(box->Button(XMessageBox::kIdYesToAll), Qt::LeftButton);
    });
    SetBeforeFileJobHook([&](const std::u16string&) { SwapForLink("exec"); });
    auto exec = std::make_unique<CKelvaneDlg>(Where());
    exec->SetCommandLine({u"kelvane", u"-exec", chosen});
    exec->show();
    ASSERT_TRUE(WaitUntil([&] {
        return exec->State().lastOutcome.load() != RunOutcome::None && exec->Workers().AllDone();
    }));
    exec->Workers().JoinAll();
    EXPECT_EQ(ReadWholeFile(dir_.Sub("exec/victim/docs/report.txt")), "theirs");
    EXPECT_EQ(exec->ExitCode(), 1);
    EXPECT_NE(Log(*exec).find(Utf8FromWide(chosen) + " [FAILED! the folder changed]\r\n"),
              std::string::npos);
}

TEST_F(ChosenFoldersUi, AFolderWhoseRowsHaveLeftIsChosenNoMore) {
    auto dlg = Open();
    // Shredded, or cleared from the list: a new folder at its path is a folder of
    // its own, listed and shredded as such, as is a file chosen in it.
    for (const bool shredded : {true, false}) {
        const std::string top = shredded ? "gone" : "cleared";
        dir_.WriteFile(top + "/old.txt", "old");
        dlg->OnDropPaths({dir_.WSub(top)});
        ASSERT_TRUE(WaitUntil([&] { return Idle(*dlg) && dlg->List().GetItemCount() == 2; }));
        // Made while the old folder is still there, so that it cannot get its number.
        dir_.WriteFile(top + ".new/inner/a.txt", "a");
        dir_.WriteFile(top + ".new/b.txt", "b");
        if (shredded) {
            Shred(*dlg);
            ASSERT_FALSE(PathExists(dir_.Sub(top)));
        } else {
            dlg->OnClearList();
            ASSERT_EQ(::unlink(dir_.Sub(top + "/old.txt").c_str()), 0);
            ASSERT_EQ(::rmdir(dir_.Sub(top).c_str()), 0);
        }
        ASSERT_EQ(::rename(dir_.Sub(top + ".new").c_str(), dir_.Sub(top).c_str()), 0);
        dlg->OnDropPaths({dir_.WSub(top + "/inner")});
        ASSERT_TRUE(WaitUntil([&] { return Idle(*dlg) && dlg->List().GetItemCount() == 2; }));
        FileDialogs::SetNextOpenFiles({ToQ(dir_.WSub(top + "/b.txt"))});
        dlg->OnCommand(CKelvaneDlg::ID_ADD_FILES);
        ASSERT_TRUE(WaitUntil([&] { return Idle(*dlg) && dlg->List().GetItemCount() == 3; }));
        Shred(*dlg);
        EXPECT_EQ(dlg->List().GetItemCount(), 0) << top;
        EXPECT_TRUE(Status(*dlg).startsWith(QStringLiteral("Shredding done."))) << top;
        EXPECT_FALSE(PathExists(dir_.Sub(top))) << top;
    }
}
