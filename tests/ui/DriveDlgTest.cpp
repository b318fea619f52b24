#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "filelist/StringTable.h"
#include "platform/qt/QtText.h"
#include "ui/DriveDlg.h"
#include "ui/FontHolder.h"
#include "uisupport/Captions.h"
#include "uisupport/Screenshot.h"

namespace {

std::vector<OfferedDrive> ThreeDrives() {
    return {{u"/", u"system", u"40213"},
            {u"/media/usb stick/", u"BACKUP", u"512"},
            {u"/srv/data/", u"", u"0"}};
}

// The dialog with three drives, `action` run on it while it is shown modally.
struct DialogRun {
    int result = 0;
    std::vector<std::string> drives;
};

DialogRun RunDialog(const std::function<void(CDriveDlg&)>& action,
                    std::vector<std::string> before = {}, CDriveDlg::TextLookup lookup = nullptr) {
    QWidget host;
    FontHolder fonts(&host);
    StringTable table;
    table.SetSize(1, 0);
    for (const auto& d : before) table.AppendRow(d);
    CDriveDlg dlg(&host);
    dlg.SetTextLookup(std::move(lookup));
    bool acted = false;
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        acted = true;
        action(d);
    });
    DialogRun run;
    run.result = dlg.DoModal(fonts, table);
    EXPECT_TRUE(acted);
    for (int i = 0; i < table.RowCount(); ++i) run.drives.push_back(table.GetCell(0, i));
    return run;
}

class DriveDlgTest : public ::testing::Test {
  protected:
    void SetUp() override { CDriveDlg::SetDriveSource(ThreeDrives); }
    void TearDown() override {
        CDriveDlg::SetDriveSource(nullptr);
        CDriveDlg::SetNextAction(nullptr);
    }
};

}  // namespace

TEST_F(DriveDlgTest, ShowsTheOfferedDrivesUncheckedWithTextsColumnsAndTips) {
    DialogRun run = RunDialog([](CDriveDlg& d) {
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(d.isModal());
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Shred free space"));
        EXPECT_EQ(d.SelectLabel()->text(), QStringLiteral("Select drive to shred free disk space"));
        EXPECT_EQ(Caption(d.AllDrivesBox()->text()), QStringLiteral("Use all drives"));
        EXPECT_FALSE(d.AllDrivesBox()->isChecked());
        EXPECT_EQ(Caption(d.OkButton()->text()), QStringLiteral("OK"));
        EXPECT_EQ(Caption(d.CancelButton()->text()), QStringLiteral("Cancel"));

        QTreeWidget* list = d.DriveList();
        QTreeWidgetItem* header = list->headerItem();
        EXPECT_EQ(header->text(0), QStringLiteral("Drive"));
        EXPECT_EQ(header->text(1), QStringLiteral("Name"));
        EXPECT_EQ(header->text(2), QStringLiteral("Free size [MB]"));
        const int dpi = d.logicalDpiX();
        const double scale = dpi > 96 ? dpi / 96.0 : 1.0;
        EXPECT_NEAR(list->columnWidth(0), 150 * scale, 1);
        EXPECT_NEAR(list->columnWidth(1), 125 * scale, 1);
        EXPECT_NEAR(list->columnWidth(2), 150 * scale, 1);

        ASSERT_EQ(list->topLevelItemCount(), 3);
        QTreeWidgetItem* usb = list->topLevelItem(1);
        EXPECT_EQ(usb->text(0), QStringLiteral("/media/usb stick/"));
        EXPECT_EQ(usb->text(1), QStringLiteral("BACKUP"));
        EXPECT_EQ(usb->text(2), QStringLiteral("512"));
        EXPECT_EQ(usb->toolTip(0), QStringLiteral("/media/usb stick/"));
        EXPECT_TRUE(usb->textAlignment(2) & Qt::AlignRight);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list->topLevelItem(i)->checkState(0), Qt::Unchecked) << i;
        EXPECT_FALSE(SaveScreenshot(&d, QStringLiteral("drive_dialog")).isEmpty());

        list->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.drives, std::vector<std::string>{"/media/usb stick/"});
}

TEST_F(DriveDlgTest, UseAllDrivesDisablesTheListAndPassesEveryDrive) {
    DialogRun run = RunDialog([](CDriveDlg& d) {
        QTest::mouseClick(d.AllDrivesBox(), Qt::LeftButton);
        EXPECT_TRUE(d.AllDrivesBox()->isChecked());
        EXPECT_FALSE(d.DriveList()->isEnabled());
        SaveScreenshot(&d, QStringLiteral("drive_dialog_all"));
        QTest::mouseClick(d.AllDrivesBox(), Qt::LeftButton);
        EXPECT_TRUE(d.DriveList()->isEnabled());
        QTest::mouseClick(d.AllDrivesBox(), Qt::LeftButton);
        QTest::mouseClick(d.OkButton(), Qt::LeftButton);
    });
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(run.drives, (std::vector<std::string>{"/", "/media/usb stick/", "/srv/data/"}));
}

TEST_F(DriveDlgTest, OkWithNothingCheckedEmptiesTheTableAndCancelKeepsIt) {
    DialogRun ok =
        RunDialog([](CDriveDlg& d) { QTest::mouseClick(d.OkButton(), Qt::LeftButton); }, {"/old/"});
    EXPECT_EQ(ok.result, IDOK);
    EXPECT_TRUE(ok.drives.empty());

    DialogRun cancel = RunDialog(
        [](CDriveDlg& d) {
            d.DriveList()->topLevelItem(0)->setCheckState(0, Qt::Checked);
            QTest::mouseClick(d.CancelButton(), Qt::LeftButton);
        },
        {"/old/"});
    EXPECT_EQ(cancel.result, IDCANCEL);
    EXPECT_EQ(cancel.drives, std::vector<std::string>{"/old/"});

    DialogRun escape =
        RunDialog([](CDriveDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, {"/old/"});
    EXPECT_EQ(escape.result, IDCANCEL);
    EXPECT_EQ(escape.drives, std::vector<std::string>{"/old/"});
}

TEST_F(DriveDlgTest, TextsComeFromTheLanguageWithDefaultsForMissingOnes) {
    auto german = [](std::string_view key) -> std::u16string {
        if (key == "FrmDrive.Caption") return u"Freien Speicher schreddern";
        if (key == "FrmDrive.m_LISDrives0") return u"Laufwerk";
        if (key == "FrmDrive.m_BTNCancel") return u"Abbrechen";
        if (key == "FrmDrive.m_acMNotOffered") return u"Nicht angeboten: ";
        if (key == "FrmDrive.m_acMNotAFolder") return u"kein Ordner";
        if (key == "FrmDrive.m_acMCannotCreate") return u"keine Dateien anlegbar: %s";
        return u"";
    };
    CDriveDlg::SetOfferSource([] {
        DriveOffer offer;
        offer.offered = ThreeDrives();
        offer.leftOut.push_back(
            {u"/proc/", u"not a folder", false, "FrmDrive.m_acMNotAFolder", {}});
        offer.leftOut.push_back({u"/ro/", u"cannot create files: Read-only file system", false,
                                 "FrmDrive.m_acMCannotCreate", u"Read-only file system"});
        return offer;
    });
    RunDialog(
        [](CDriveDlg& d) {
            // Why a drive is not offered, in the language too.
            EXPECT_EQ(d.LeftOutLabel()->text(),
                      QStringLiteral("Nicht angeboten: /proc/ (kein Ordner); /ro/ (keine Dateien "
                                     "anlegbar: Read-only file system)"));
            EXPECT_EQ(d.windowTitle(), QStringLiteral("Freien Speicher schreddern"));
            EXPECT_EQ(d.DriveList()->headerItem()->text(0), QStringLiteral("Laufwerk"));
            EXPECT_EQ(d.DriveList()->headerItem()->text(1), QStringLiteral("Name"));
            EXPECT_EQ(Caption(d.CancelButton()->text()), QStringLiteral("Abbrechen"));
            EXPECT_EQ(Caption(d.OkButton()->text()), QStringLiteral("OK"));
            d.CancelButton()->click();
        },
        {}, german);
    CDriveDlg::SetOfferSource(nullptr);
}

TEST_F(DriveDlgTest, NoDrivesGivesAnEmptyListAndOkStillWorks) {
    CDriveDlg::SetDriveSource([] { return std::vector<OfferedDrive>{}; });
    DialogRun run = RunDialog([](CDriveDlg& d) {
        EXPECT_EQ(d.DriveList()->topLevelItemCount(), 0);
        QTest::mouseClick(d.AllDrivesBox(), Qt::LeftButton);
        d.OkButton()->click();
    });
    EXPECT_EQ(run.result, IDOK);
    EXPECT_TRUE(run.drives.empty());
}
