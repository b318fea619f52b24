// Texts are shown whole where there is room for them: the list's Size and Date at
// a larger font, the drives' mount points, and the summary's advice.
#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

#include "filelist/StringTable.h"
#include "platform/qt/ListCtrlView.h"
#include "runs/RunSummary.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "ui/MainWindowFixture.h"
#include "ui/RunSummaryDlg.h"
#include "uisupport/Screenshot.h"

namespace {

// The width a view's cell needs to show `text` uncut.
int Needed(const QWidget* view, const QString& text) {
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return view->fontMetrics().horizontalAdvance(text) + 2 * margin;
}

class CutTexts : public MainWindowFixture {};

}  // namespace

TEST_F(CutTexts, SizeAndDateShowWholeAtALargerFontWhileTheListHasRoom) {
    auto dlg = Open();
    // 11 points at 96 dots per inch, as the font of the program.
    FontHolder& fonts = dlg->Fonts();
    fonts.useFontHeight = true;
    fonts.SetHeight(-15);
    fonts.Apply(dlg.get(), true);
    dlg->resize(1000, 600);
    const QString size = QStringLiteral("314572800"), date = QStringLiteral("2024-05-06 12:34:56");
    dlg->AppendRow(u"big.iso", size.toStdU16String(), date.toStdU16String(), u"/x/big.iso");
    QApplication::processEvents();
    auto* view = dlg->ListView();
    ASSERT_EQ(QFontInfo(view->font()).pixelSize(), 15);
    EXPECT_GE(view->columnWidth(1), Needed(view, size)) << "Size";
    EXPECT_GE(view->columnWidth(2), Needed(view, date)) << "Date";
    EXPECT_GE(view->columnWidth(1), Needed(view->horizontalHeader(), QStringLiteral("Size")));
    // The name takes the room that is left, no more: nothing scrolls sideways.
    EXPECT_LE(view->columnWidth(0) + view->columnWidth(1) + view->columnWidth(2),
              view->viewport()->width());
    SaveScreenshot(dlg.get(), QStringLiteral("main_window_11pt"));
}

TEST_F(CutTexts, DrivePathsAreToldApartWithoutHovering) {
    const std::u16string one = u"/media/someone/Backup disk 1/";
    const std::u16string two = u"/media/someone/Backup disk 2/";
    CDriveDlg::SetDriveSource([&] {
        return std::vector<OfferedDrive>{{one, u"", u"10"}, {two, u"", u"20"}};
    });
    auto dlg = Open();
    bool looked = false;
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        looked = true;
        QTreeWidget* list = d.DriveList();
        EXPECT_EQ(list->textElideMode(), Qt::ElideMiddle) << "a too long path keeps its end";
        for (int i = 0; i < 2; ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            const QRect cell = list->visualItemRect(item);
            EXPECT_GE(list->columnWidth(0), Needed(list, item->text(0)) + cell.height())
                << "room for the path and its check box";
            EXPECT_EQ(item->toolTip(0), item->text(0));
        }
        SaveScreenshot(&d, QStringLiteral("drive_dialog_long_paths"));
        d.EndDialog(IDCANCEL);
    });
    StringTable drives;
    CDriveDlg box(dlg.get());
    (void)box.DoModal(dlg->Fonts(), drives);
    EXPECT_TRUE(looked);
}

TEST_F(CutTexts, TheSummarysAdviceWrapsInsteadOfBeingCut) {
    RunSummary s;
    s.files = 1;
    s.groups.push_back({VerdictReason::kCopyOnWrite, 1, {u"/a/file"}});
    CRunSummaryDlg box(
        s, [](std::string_view k) { return CKelvaneDlg::DefaultText(k); }, false);
    for (int width : {420, 640}) {
        SCOPED_TRACE(width);
        box.resize(width, 420);
        box.show();
        QApplication::processEvents();
        QTreeWidget* tree = box.Warnings();
        QTreeWidgetItem* advice = tree->topLevelItem(0)->child(0);
        const QRect rect = tree->visualItemRect(advice);
        const QFontMetrics fm(advice->font(0));
        ASSERT_GT(fm.horizontalAdvance(advice->text(0)), tree->viewport()->width())
            << "the advice is longer than a line";
        const QRect wrapped = fm.boundingRect(QRect(0, 0, rect.width() - 24, 100000),
                                              Qt::TextWordWrap, advice->text(0));
        EXPECT_GE(rect.height(), wrapped.height()) << "every line of it shows";
        EXPECT_LE(rect.right(), tree->viewport()->width());
    }
    SaveScreenshot(&box, QStringLiteral("run_summary_advice"));
}
