// Before a file run: the rows that overwriting cannot be guaranteed to erase are
// marked in the list, and a summary asks before anything is touched.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"
#include "platform/StorageFacts.h"
#include "platform/qt/ListCtrlView.h"
#include "platform/qt/QtText.h"
#include "ui/MainWindowFixture.h"
#include "ui/RunSummaryDlg.h"
#include "uisupport/Screenshot.h"

namespace {

class RunSummaryUi : public MainWindowFixture {
  protected:
    void TearDown() override {
        CRunSummaryDlg::SetShownHook(nullptr);
        MainWindowFixture::TearDown();
    }
    void AddFiles(CKelvaneDlg& dlg, int count) {
        for (int i = 0; i < count; ++i) {
            const std::string rel = "files/f" + std::to_string(i) + ".txt";
            dir_.WriteFile(rel, std::string(1000, 's'));
            dlg.AppendRow(WideFromUtf8("f" + std::to_string(i) + ".txt"), u"1000",
                          u"2020-01-01 00:00:00", dir_.WSub(rel));
        }
    }
    void Shred(CKelvaneDlg& dlg) {
        QTest::mouseClick(static_cast<QPushButton*>(dlg.Control(CKelvaneDlg::IDC_SHRED)),
                          Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return dlg.Workers().AllDone(); }));
        dlg.Workers().JoinAll();
    }
};

}  // namespace

TEST_F(RunSummaryUi, MarkedRowsAndASummaryThatCancelsOrStarts) {
    dir_.WriteFile("stay", "keeps the test folder");
    // An empty /sys: no file here can be traced to its disk.
    TempDir emptySys;
    storage::ScopedStorageRoots roots({"/proc", emptySys.Path()});
    auto dlg = Open();
    static_cast<QCheckBox*>(dlg->Control(CKelvaneDlg::IDC_CONFIRM))->setChecked(false);
    AddFiles(*dlg, 5);
    dlg->AppendRow(u"files", u"", u"FOLDER", dir_.WSub("files/"));

    auto* view = static_cast<ListCtrlView*>(dlg->Control(CKelvaneDlg::IDC_LIST));
    const QModelIndex first = view->model()->index(0, 0);
    // Verdicts are worked out on a worker; the mark comes when the verdict does.
    EXPECT_TRUE(WaitUntil(
        [&] { return !view->model()->data(first, Qt::DecorationRole).value<QIcon>().isNull(); },
        5000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            (void)view->model()->data(view->model()->index(5, 0), Qt::ToolTipRole);
            return !view->model()
                        ->data(view->model()->index(5, 0), Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("being checked"));
        },
        5000));
    EXPECT_FALSE(view->model()->data(view->model()->index(5, 0), Qt::DecorationRole).isValid());
    EXPECT_TRUE(
        view->model()
            ->data(first, Qt::ToolTipRole)
            .toString()
            .contains(QStringLiteral("Overwriting: cannot be guaranteed (unknown storage)")));
    SaveScreenshot(dlg.get(), QStringLiteral("run_summary_marked_rows"));

    int shown = 0;
    QStringList items;
    bool answer = false;
    bool freeSpaceOffered = false;
    CRunSummaryDlg::SetShownHook([&](CRunSummaryDlg& box) {
        ++shown;
        items.clear();
        for (QTreeWidgetItemIterator it(box.Warnings()); *it; ++it) items << (*it)->text(0);
        if (shown == 1) SaveScreenshot(&box, QStringLiteral("run_summary"));
        // Offered, off until chosen (choosing it would fill this machine's disk here).
        freeSpaceOffered = box.FreeSpaceAfterBox() && box.FreeSpaceAfterBox()->isVisibleTo(&box) &&
                           !box.FreeSpaceAfterBox()->isChecked();
        // Nothing is under way while it asks: the window does not look busy.
        EXPECT_FALSE(dlg->Control(CKelvaneDlg::IDC_STOP)->isVisible());
        EXPECT_FALSE(dlg->Control(CKelvaneDlg::IDC_CLOCK)->isVisible());
        EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Kelvane"));
        QTest::mouseClick(answer ? box.StartButton() : box.CancelButton(), Qt::LeftButton);
    });
    Shred(*dlg);
    ASSERT_EQ(shown, 1);
    EXPECT_TRUE(freeSpaceOffered);
    EXPECT_EQ(items.value(0), QStringLiteral("unknown storage: 5 file(s)"));
    EXPECT_TRUE(items.value(1).startsWith(QStringLiteral("Kelvane could not find out")));
    EXPECT_EQ(items.value(2), ToQ(dir_.WSub("files/f0.txt")));
    EXPECT_EQ(items.value(5), QStringLiteral("... and 2 more"));
    EXPECT_EQ(static_cast<QLabel*>(dlg->Control(CKelvaneDlg::IDC_STATUS))->text(),
              QStringLiteral("Shredding cancelled; nothing was changed."));
    EXPECT_EQ(dlg->List().GetItemCount(), 6);
    EXPECT_EQ(ReadWholeFile(dir_.Sub("files/f4.txt")), std::string(1000, 's'));
    EXPECT_FALSE(dlg->IsLocked());

    answer = true;
    Shred(*dlg);
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(PathExists(dir_.Sub("files")));
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    EXPECT_NE(dlg->Fields().seenWarnings, 0u);

    // The same warning again: accepted before, so not asked again.
    AddFiles(*dlg, 1);
    Shred(*dlg);
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(PathExists(dir_.Sub("files/f0.txt")));
}

TEST_F(RunSummaryUi, HideOptionOnlyWhenThereAreWarnings) {
    const TextLookup text = [](std::string_view key) { return WideFromUtf8(BuiltInText(key)); };
    RunSummary calm;
    calm.files = 2;
    CRunSummaryDlg plain(calm, text, false);
    EXPECT_TRUE(plain.HideSeenBox()->isHidden()) << "nothing to hide without warnings";
    RunSummary warned = calm;
    warned.groups.push_back({VerdictReason::kFlash, 1, {u"/data/a"}});
    CRunSummaryDlg withWarnings(warned, text, true, nullptr);
    EXPECT_FALSE(withWarnings.HideSeenBox()->isHidden());
    EXPECT_TRUE(withWarnings.HideSeen());
}
