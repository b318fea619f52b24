#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "MainWindowFixture.h"
#include "platform/qt/QtText.h"
#include "support/TestMount.h"
#include "ui/DriveDlg.h"
#include "uisupport/Screenshot.h"

namespace {

class FreeSpaceCommandTest : public MainWindowFixture {
  protected:
    void TearDown() override {
        CDriveDlg::SetDriveSource(nullptr);
        CDriveDlg::SetNextAction(nullptr);
        MainWindowFixture::TearDown();
    }
    static QString Status(CKelvaneDlg& dlg) {
        return static_cast<QLabel*>(dlg.Control(CKelvaneDlg::IDC_STATUS))->text();
    }
};

}  // namespace

TEST_F(FreeSpaceCommandTest, CancelInTheDriveDialogStartsNothing) {
    auto dlg = Open();
    const QString before = Status(*dlg);
    const bool stopBefore = dlg->State().stop;
    CDriveDlg::SetDriveSource([] { return std::vector<OfferedDrive>{{u"/x/", u"", u"1"}}; });
    bool shown = false;
    CDriveDlg::SetNextAction([&](CDriveDlg& d) {
        shown = true;
        EXPECT_EQ(d.parentWidget(), dlg.get());
        d.CancelButton()->click();
    });
    QTest::mouseClick(static_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_SHRED_FREE)),
                      Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(dlg->Workers().AllDone());
    EXPECT_EQ(dlg->State().stop, stopBefore) << "Cancel leaves the stop flag as it was";
    EXPECT_FALSE(dlg->IsLocked());
    EXPECT_EQ(Status(*dlg), before);
}

TEST_F(FreeSpaceCommandTest, OkFillsTheCheckedDriveAndReportsDone) {
    TestMount m(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(m);
    auto dlg = Open();
    CDriveDlg::SetDriveSource([&] {
        return std::vector<OfferedDrive>{{u"/not/this/", u"", u"9"}, {m.WPath(), u"", u"1"}};
    });
    CDriveDlg::SetNextAction([](CDriveDlg& d) {
        d.DriveList()->topLevelItem(1)->setCheckState(0, Qt::Checked);
        d.OkButton()->click();
    });
    QTest::mouseClick(static_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_SHRED_FREE)),
                      Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->Workers().AllDone(); }, 20000));
    QApplication::processEvents();
    EXPECT_TRUE(Status(*dlg).startsWith(QStringLiteral("Shredding done. (")))
        << Status(*dlg).toStdString();
    EXPECT_FALSE(dlg->IsLocked());
    ASSERT_EQ(dlg->State().drivesTable.RowCount(), 1);
    EXPECT_EQ(dlg->State().drivesTable.GetCell(0, 0), m.Path());
    EXPECT_FALSE(PathExists(m.Path() + "Morvik.$$$temp$$$0000"));
    SaveScreenshot(dlg.get(), QStringLiteral("main_after_free_space_run"));
}
