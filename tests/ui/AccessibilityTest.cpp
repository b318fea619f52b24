// What a screen reader finds in the windows: every control it can reach has a
// name, the list's marks are words, and the end of a run is told.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "config/TextConv.h"
#include "filelist/StringTable.h"
#include "platform/StorageFacts.h"
#include "platform/qt/ListCtrlView.h"
#include "runs/RunSummary.h"
#include "ui/AboutDlg.h"
#include "ui/Accessibility.h"
#include "ui/ClickEdit.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "ui/LanguageDlg.h"
#include "ui/LogViewDlg.h"
#include "ui/MainWindowFixture.h"
#include "ui/OptionsDlg.h"
#include "ui/RunSummaryDlg.h"

namespace {

// The focusable, visible objects under `iface` that have no name, described by
// role and class. Rows of a table are named by their cells' texts and are left
// out: an empty cell is not a control.
void CollectUnnamed(QAccessibleInterface* iface, QStringList& out, int depth = 0) {
    if (!iface || depth > 40) return;
    const QAccessible::State state = iface->state();
    const QAccessible::Role role = iface->role();
    const bool cell = role == QAccessible::Cell || role == QAccessible::RowHeader ||
                      role == QAccessible::ColumnHeader;
    if (state.focusable && !state.invisible && !cell &&
        iface->text(QAccessible::Name).trimmed().isEmpty()) {
        QObject* o = iface->object();
        out << QStringLiteral("%1 %2 '%3'")
                   .arg(int(role))
                   .arg(o ? QString::fromLatin1(o->metaObject()->className()) : QString())
                   .arg(o ? o->objectName() : QString());
    }
    if (role == QAccessible::Table) return;  // its cells are the rows' texts
    for (int i = 0; i < iface->childCount(); ++i) CollectUnnamed(iface->child(i), out, depth + 1);
}

QStringList Unnamed(QWidget* top) {
    QStringList out;
    CollectUnnamed(QAccessible::queryAccessibleInterface(top), out);
    return out;
}

class Accessibility : public MainWindowFixture {};

}  // namespace

TEST_F(Accessibility, EveryFocusableControlOfEveryWindowHasAName) {
    auto dlg = Open();
    EXPECT_EQ(Unnamed(dlg.get()), QStringList()) << "main window";
    // The busy indicator is named, so its changing digits are not read out.
    auto* indicator = static_cast<QLabel*>(dlg->Control(CKelvaneDlg::IDC_INDICATOR));
    indicator->setText(QStringLiteral("0badf00d"));
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(indicator)
                     ->text(QAccessible::Name)
                     .contains(QStringLiteral("0badf00d")));

    COptionsDlg options(dlg.get());
    options.Prepare(dlg->Fonts(), OptionsSettingsOf(dlg->Fields()));
    options.show();
    QApplication::processEvents();
    EXPECT_EQ(Unnamed(&options), QStringList()) << "options";
    const QString resetName =
        QAccessible::queryAccessibleInterface(options.Control(COptionsDlg::IDC_FILE_BLOCK_RESET))
            ->text(QAccessible::Name);
    EXPECT_EQ(resetName, QStringLiteral("Reset File block-size [KB]"));
    options.hide();

    CDriveDlg::SetDriveSource([] {
        return std::vector<OfferedDrive>{{u"/", u"system", u"40213"}};
    });
    QStringList driveUnnamed{QStringLiteral("not shown")};
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        driveUnnamed = Unnamed(&d);
        d.EndDialog(IDCANCEL);
    });
    StringTable drives;
    CDriveDlg driveDlg(dlg.get());
    (void)driveDlg.DoModal(dlg->Fonts(), drives);
    EXPECT_EQ(driveUnnamed, QStringList()) << "drive dialog";

    RunSummary summary;
    summary.files = 2;
    summary.groups.push_back({VerdictReason::kFlash, 2, {u"/a/one", u"/a/two"}});
    CRunSummaryDlg summaryDlg(
        summary, [](std::string_view k) { return CKelvaneDlg::DefaultText(k); }, false, dlg.get());
    summaryDlg.show();
    QApplication::processEvents();
    EXPECT_EQ(Unnamed(&summaryDlg), QStringList()) << "summary";
    summaryDlg.hide();

    dlg->OnViewLog();
    ASSERT_NE(dlg->LogViewer(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(Unnamed(dlg->LogViewer()), QStringList()) << "log view";
    dlg->LogViewer()->hide();

    CAboutDlg about(dlg.get());
    about.Prepare(dlg->Fonts(), QStringLiteral("OK"));
    about.show();
    QApplication::processEvents();
    EXPECT_EQ(Unnamed(&about), QStringList()) << "about";
    // The links are reached with Tab and opened with Enter.
    ASSERT_FALSE(about.Links().empty());
    CClickEdit* link = about.Links().front();
    EXPECT_TRUE(link->focusPolicy() & Qt::TabFocus);
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(), link->Link());
}

TEST_F(Accessibility, MarksAreSpokenAndTheEndOfARunIsTold) {
    dir_.WriteFile("files/a.txt", "data");
    // An empty /sys: no file here can be traced to its disk, so its row is marked.
    TempDir emptySys;
    storage::ScopedStorageRoots roots({"/proc", emptySys.Path()});
    auto dlg = Open();
    dlg->AppendRow(u"a.txt", u"4", u"2020-01-01 00:00:00", dir_.WSub("files/a.txt"));
    QAbstractItemModel* model = dlg->ListView()->model();
    const QModelIndex first = model->index(0, 0);
    ASSERT_TRUE(WaitUntil(
        [&] { return !model->data(first, Qt::DecorationRole).value<QIcon>().isNull(); }, 5000));
    EXPECT_EQ(model->data(first, Qt::AccessibleTextRole).toString(),
              QStringLiteral("a.txt, ticked, warning: overwriting cannot be guaranteed"));
    // The tick is words too: an unticked row says so.
    dlg->List().SetCheck(0, false);
    EXPECT_EQ(model->data(first, Qt::AccessibleTextRole).toString(),
              QStringLiteral("a.txt, not ticked, warning: overwriting cannot be guaranteed"));
    dlg->List().SetCheck(0, true);
    EXPECT_TRUE(model->data(first, Qt::AccessibleDescriptionRole)
                    .toString()
                    .contains(QStringLiteral("Overwriting: cannot be guaranteed")));

    std::vector<std::pair<QWidget*, QString>> told;
    SetAnnouncementHook(
        [&](QWidget* source, const QString& text) { told.emplace_back(source, text); });
    dlg->LockForRun();
    dlg->SetStatusText(u"Shredding done.");
    dlg->UnlockAfterRun();
    SetAnnouncementHook(nullptr);
    ASSERT_EQ(told.size(), 1u) << "the end of the run is told once";
    EXPECT_EQ(told[0].first, dlg->Control(CKelvaneDlg::IDC_STATUS));
    EXPECT_EQ(told[0].second, QStringLiteral("Shredding done."));
}

// What a reader meets beyond names: the end of a run shows as a notification,
// spoken wherever the focus is; a drop-down gives its choice as its text; each
// row has its file's name as header, and the hidden path column a name.
TEST_F(Accessibility, RunEndNotificationComboValueAndHeaderNames) {
    auto dlg = Open();
    dlg->AppendRow(u"a.txt", u"4", u"2020-01-01 00:00:00", u"/nowhere/a.txt");
    QApplication::processEvents();

    dlg->LockForRun();
    dlg->SetStatusText(u"Shredding done.");
    dlg->UnlockAfterRun();
    // A notification showed with the text: what AT-SPI hands a reader as
    // "object:state-changed:showing" of a notification (tests/atspi hears it).
    QWidget* notice = nullptr;
    for (QWidget* w : dlg->findChildren<QWidget*>())
        if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
            i && i->role() == QAccessible::Notification)
            notice = w;
    ASSERT_NE(notice, nullptr) << "no notification at the end of the run";
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(notice)->text(QAccessible::Name),
              QStringLiteral("Shredding done."));

    auto* end = qobject_cast<QComboBox*>(dlg->Control(CKelvaneDlg::IDC_END_ACTION));
    ASSERT_NE(end, nullptr);
    QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(end);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->text(QAccessible::Name), QStringLiteral("After processing:"));
    ASSERT_NE(combo->textInterface(), nullptr);
    for (int i = 0; i < end->count(); ++i) {
        end->setCurrentIndex(i);
        EXPECT_EQ(combo->textInterface()->text(0, -1), end->itemText(i));
        EXPECT_EQ(combo->textInterface()->characterCount(), end->itemText(i).size());
    }

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(dlg->ListView());
    ASSERT_NE(table, nullptr);
    QStringList rowHeaders, columnHeaders;
    for (int i = 0; i < table->childCount(); ++i) {
        QAccessibleInterface* c = table->child(i);
        if (c && c->role() == QAccessible::RowHeader) rowHeaders << c->text(QAccessible::Name);
        if (c && c->role() == QAccessible::ColumnHeader)
            columnHeaders << c->text(QAccessible::Name);
    }
    EXPECT_TRUE(rowHeaders.contains(QStringLiteral("a.txt"))) << rowHeaders.join('|').toStdString();
    EXPECT_FALSE(columnHeaders.contains(QString())) << columnHeaders.join('|').toStdString();
    EXPECT_TRUE(columnHeaders.contains(QStringLiteral("Full path")));
}
