// The file shredding run as a user starts it: the "Shred files" button on a real
// folder tree, the window locked meanwhile, Stop, the end actions and closing
// the window while a run goes on.
#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "config/TextConv.h"
#include "filelist/ListSources.h"
#include "platform/qt/ListCtrlView.h"
#include "platform/qt/QtText.h"
#include "runs/ShredPool.h"
#include "support/TestText.h"
#include "ui/MainWindowFixture.h"
#include "ui/XMessageBox.h"
#include "uisupport/Screenshot.h"

namespace {

QString StatusOf(CKelvaneDlg& dlg) {
    return static_cast<QLabel*>(dlg.Control(CKelvaneDlg::IDC_STATUS))->text();
}

// Holds the run at its first file until `release` holds, so that a click lands
// while the run is under way, however fast the files go.
class HeldFirstFile {
  public:
    explicit HeldFirstFile(std::function<bool()> release) {
        SetBeforeFileJobHook([this, release](const std::u16string&) {
            if (reached_.exchange(true)) return;
            QElapsedTimer t;
            t.start();
            while (!release() && t.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }
    ~HeldFirstFile() { SetBeforeFileJobHook(nullptr); }
    bool Reached() const { return reached_.load(); }

  private:
    std::atomic<bool> reached_{false};
};

class FileRunUi : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        XMessageBox::ClearTestHooks();
        dir_.WriteFile("stay", "keeps the test folder");
    }
    void TearDown() override {
        XMessageBox::ClearTestHooks();
        MainWindowFixture::TearDown();
    }

    // Drops `rel` (a folder of the test folder) on the window and waits for its rows.
    void DropFolder(CKelvaneDlg& dlg, const std::string& rel) {
        ASSERT_TRUE(AddDroppedPaths(dlg.Workers(), dlg, dlg.State(), {dir_.WSub(rel)}));
        ASSERT_TRUE(WaitUntil([&] { return dlg.Workers().AllDone(); }));
        dlg.Workers().JoinAll();
    }
    void AddFiles(CKelvaneDlg& dlg, int count, const std::string& folder, size_t bytes = 4096) {
        for (int i = 0; i < count; ++i) {
            std::string rel = folder + "/f" + std::to_string(i) + ".bin";
            dir_.WriteFile(rel, std::string(bytes, 'x'));
            dlg.AppendRow(u"f", WideFromUtf8(std::to_string(bytes)), u"2020-01-01 00:00:00",
                          dir_.WSub(rel));
        }
    }
    void Tick(CKelvaneDlg& dlg, int id, bool on) {
        static_cast<QCheckBox*>(dlg.Control(id))->setChecked(on);
    }
    void Click(CKelvaneDlg& dlg, int id) {
        QTest::mouseClick(static_cast<QPushButton*>(dlg.Control(id)), Qt::LeftButton);
    }
};

}  // namespace

TEST_F(FileRunUi, ShredButtonOnAFolderTreeWithTheWindowLocked) {
    auto dlg = Open();
    dir_.WriteFile("tree/a.txt", "alpha");
    dir_.WriteFile("tree/sub/b.txt", "beta");
    dir_.WriteFile("tree/sub/deeper/c.txt", "gamma");
    DropFolder(*dlg, "tree");
    ASSERT_EQ(dlg->List().GetItemCount(), 6);  // three files, three folders
    SaveScreenshot(dlg.get(), QStringLiteral("file_run_before"));

    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, true);
    bool sawLocked = false;
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        // The run waits for this answer: the window is locked now.
        sawLocked = dlg->IsLocked() && !dlg->Control(CKelvaneDlg::IDC_SHRED)->isEnabled() &&
                    !dlg->Control(CKelvaneDlg::IDC_LIST)->isEnabled() &&
                    dlg->Control(CKelvaneDlg::IDC_STOP)->isVisible() &&
                    dlg->Control(CKelvaneDlg::IDC_STOP)->isEnabled() &&
                    !dlg->MenuPopup(0)->menuAction()->isEnabled() &&
                    dlg->Control(CKelvaneDlg::IDC_END_ACTION)->isEnabled();
        SaveScreenshot(dlg.get(), QStringLiteral("file_run_locked"));
        SaveScreenshot(box, QStringLiteral("file_run_confirmation"));
        QTest::mouseClick(box->Button(XMessageBox::kIdYesToAll), Qt::LeftButton);
    });
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();

    EXPECT_TRUE(sawLocked);
    EXPECT_EQ(XMessageBox::AskedTexts().size(), 1);
    EXPECT_TRUE(
        XMessageBox::AskedTexts().value(0).startsWith(QStringLiteral("Sure to shred file '")));
    EXPECT_FALSE(PathExists(dir_.Sub("tree")));
    EXPECT_TRUE(PathExists(dir_.Sub("stay")));
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    // The run's own text, then where its report went.
    EXPECT_TRUE(StatusOf(*dlg).startsWith(QStringLiteral("Shredding done. (00:00:00) Report: ")));
    EXPECT_EQ(static_cast<QProgressBar*>(dlg->Control(CKelvaneDlg::IDC_PROGRESS))->value(), 0);
    // Unlocked again.
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_TRUE(dlg->Control(CKelvaneDlg::IDC_SHRED)->isEnabled());
    EXPECT_FALSE(dlg->Control(CKelvaneDlg::IDC_STOP)->isVisible());
    EXPECT_TRUE(dlg->MenuPopup(0)->menuAction()->isEnabled());
    EXPECT_TRUE(dlg->State().stop);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(shutdowns, 0);
    SaveScreenshot(dlg.get(), QStringLiteral("file_run_after"));
}

TEST_F(FileRunUi, EmptyListTellsTheUser) {
    auto dlg = Open();
    MessageBoxes::ClearHistory();
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_EQ(MessageBoxes::History().size(), 1u);
    EXPECT_EQ(MessageBoxes::History()[0].kind, MessageBoxes::Kind::Information);
    EXPECT_EQ(MessageBoxes::History()[0].text, QStringLiteral("No file(s) available!"));
    EXPECT_EQ(MessageBoxes::History()[0].title, QStringLiteral("Kelvane - Information"));
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_TRUE(dlg->Workers().AllDone());
}

// Stop ends the file under way after its write in progress: the file stays under
// its own name, its row stays ticked, and the log says how far it got. Meanwhile
// the status line says "Stopping..." whatever the run reports, and Stop is off.
TEST_F(FileRunUi, StopEndsTheFileUnderWayAndSaysSoUntilTheEnd) {
    auto dlg = Open();
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    AddFiles(*dlg, 1, "big", 9 << 20);  // a large file: one at a time, by its passes
    AddFiles(*dlg, 3, "s");
    std::atomic<bool> letGo{false};
    HeldFirstFile held([&] { return dlg->State().stop.load() && letGo.load(); });
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    QWidget* stop = dlg->Control(CKelvaneDlg::IDC_STOP);
    ASSERT_TRUE(stop->isVisible() && stop->isEnabled());
    Click(*dlg, CKelvaneDlg::IDC_STOP);
    EXPECT_EQ(StatusOf(*dlg), QStringLiteral("Stopping..."));
    EXPECT_FALSE(stop->isEnabled());
    // What the run reports meanwhile does not take the line back.
    dlg->SetStatusText(u"Shredding [1 / 4 - 46 %]: somewhere");
    dlg->SetProgressPos(1);
    QApplication::processEvents();
    EXPECT_EQ(StatusOf(*dlg), QStringLiteral("Stopping..."));
    EXPECT_TRUE(dlg->IsLocked());
    letGo = true;
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();

    const std::string big = dir_.Sub("big/f0.bin");
    ASSERT_TRUE(PathExists(big)) << "the file under way was removed or renamed";
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(PathExists(dir_.Sub("s/f" + std::to_string(i) + ".bin")));
    ASSERT_EQ(dlg->List().GetItemCount(), 4);
    EXPECT_EQ(dlg->List().GetItemText(0, 3), dir_.WSub("big/f0.bin"));
    EXPECT_TRUE(dlg->List().GetCheck(0));
    const std::string log = ReadWholeFile(dlg->StorageFolder() + "KelvaneLog.txt");
    EXPECT_NE(log.find(Le(dir_.Sub("big/f0.bin") + " [interrupted after pass 0 of 5]\r\n")),
              std::string::npos)
        << Utf8FromLe(log);
    EXPECT_TRUE(
        StatusOf(*dlg).startsWith(QStringLiteral("Shredding interrupted. (00:00:00) Report: ")))
        << StatusOf(*dlg).toStdString();
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(FileRunUi, EndActionShutDownProgramStoresAndEnds) {
    auto dlg = Open();
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    static_cast<QComboBox*>(dlg->Control(CKelvaneDlg::IDC_END_ACTION))->setCurrentIndex(1);
    AddFiles(*dlg, 2, "e");
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->Result(), IDOK);
    EXPECT_TRUE(PathExists(SettingsFile()));
    EXPECT_EQ(shutdowns, 0);
    EXPECT_FALSE(PathExists(dir_.Sub("e")));
}

TEST_F(FileRunUi, EndActionShutDownGoesThroughThePlatform) {
    auto dlg = Open();
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    static_cast<QComboBox*>(dlg->Control(CKelvaneDlg::IDC_END_ACTION))->setCurrentIndex(2);
    AddFiles(*dlg, 1, "e");
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    EXPECT_EQ(shutdowns, 1);
    EXPECT_TRUE(PathExists(SettingsFile()));
    EXPECT_FALSE(dlg->isVisible());
}

// Closing stops the run as Stop does: the entry under way stays in place.
TEST_F(FileRunUi, ClosingDuringARunStopsTheEntryStoresAndEnds) {
    auto dlg = Open();
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    // Even "Shut down windows" must not turn closing the window into a shutdown.
    static_cast<QComboBox*>(dlg->Control(CKelvaneDlg::IDC_END_ACTION))->setCurrentIndex(2);
    AddFiles(*dlg, 5, "c", 2 << 20);  // large: one at a time
    HeldFirstFile held([&] { return dlg->State().stop.load(); });
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    dlg->close();

    // close() came back: every worker has ended and was joined.
    EXPECT_TRUE(dlg->Workers().AllDone());
    EXPECT_TRUE(dlg->State().stop);
    EXPECT_FALSE(dlg->isVisible());
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(PathExists(dir_.Sub("c/f" + std::to_string(i) + ".bin")));
    EXPECT_EQ(dlg->List().GetItemCount(), 5);
    EXPECT_TRUE(PathExists(SettingsFile()));
    EXPECT_EQ(shutdowns, 0);
}

TEST_F(FileRunUi, StopWhileExecListsTheCommandLineFoldersCancelsTheRun) {
    for (int i = 0; i < 3000; ++i) dir_.WriteFile("big/f" + std::to_string(i), "data");
    // A run started anyway would ask first; "Yes to all" lets it show what it does.
    int asked = 0;
    XMessageBox::SetOnShown([&](XMessageBox* box) {
        ++asked;
        QTest::mouseClick(box->Button(XMessageBox::kIdYesToAll), Qt::LeftButton);
    });
    auto dlg = std::make_unique<CKelvaneDlg>(Where());
    dlg->SetCommandLine({u"kelvane", u"-exec", dir_.WSub("big")});
    dlg->show();
    // Stop once the listing has begun, long before it ends.
    ASSERT_TRUE(WaitUntil([&] { return dlg->List().GetItemCount() > 0; }));
    Click(*dlg, CKelvaneDlg::IDC_STOP);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    // Give the start-up poll its turns: a run it started would show here.
    QTest::qWait(500);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    int left = 0;
    for (int i = 0; i < 3000; ++i)
        left += PathExists(dir_.Sub("big/f" + std::to_string(i))) ? 1 : 0;
    EXPECT_EQ(left, 3000) << "files were shredded after Stop";
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(dlg->ExitCode(), 2);
}

TEST_F(FileRunUi, OddNamesAreShredAndLoggedOneLineEach) {
    auto dlg = Open();
    const std::string forged = "odd/x\nforged.txt [done]";
    const std::string bytes = "odd/b\xff\x1b[2J.txt";
    dir_.WriteFile(forged, "a");
    dir_.WriteFile(bytes, "b");
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    Tick(*dlg, CKelvaneDlg::IDC_MODIFY_SIZE, false);
    DropFolder(*dlg, "odd");
    ASSERT_EQ(dlg->List().GetItemCount(), 3);
    // Adding a folder locked and unlocked the window: the size choice still
    // follows "Modify filesize", which is off.
    EXPECT_FALSE(dlg->Control(CKelvaneDlg::IDC_SIZE_TYPE)->isEnabled());
    // The list keeps the exact names.
    bool exact = false;
    for (int i = 0; i < dlg->List().GetItemCount(); ++i)
        exact = exact || dlg->List().GetItemText(i, 3) == dir_.WSub(bytes);
    EXPECT_TRUE(exact);

    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    EXPECT_FALSE(PathExists(dir_.Sub("odd")));

    const std::string log = ReadWholeFile(dlg->LogPath());
    ASSERT_TRUE(IsWellFormedUtf16Le(log));
    const std::string text = Utf8FromLe(log);
    EXPECT_NE(text.find("\r\n" + dir_.Sub("odd/x\\nforged.txt [done] [done]\r\n")),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n" + dir_.Sub("odd/b\\xff\\x1b[2J.txt [done]\r\n")), std::string::npos)
        << text;
    EXPECT_EQ(text.find("\nforged.txt"), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

TEST_F(FileRunUi, AFailedRowTellsWhyInItsTip) {
    auto dlg = Open();
    Tick(*dlg, CKelvaneDlg::IDC_CONFIRM, false);
    AddFiles(*dlg, 1, "ro");
    ASSERT_EQ(::chmod(dir_.Sub("ro/f0.bin").c_str(), 0444), 0);
    Click(*dlg, CKelvaneDlg::IDC_SHRED);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    ASSERT_EQ(dlg->List().GetItemCount(), 1);
    QAbstractItemModel* model = dlg->ListView()->model();
    const QString tip = model->data(model->index(0, 0), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("FAILED! Permission denied"))) << tip.toStdString();
    // The status line and the log point to the option that would have helped.
    const QString hint = QStringLiteral(
        "1 file(s): permission denied. Options > Ignore write protection lets a run make such "
        "files writable.");
    EXPECT_TRUE(StatusOf(*dlg).contains(hint)) << StatusOf(*dlg).toStdString();
    EXPECT_NE(Utf8FromLe(ReadWholeFile(dlg->LogPath())).find(hint.toStdString()),
              std::string::npos);
}
