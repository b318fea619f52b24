// "Verify a report..." in the window: the answers of verify-report in words:
// the user's own report trusted, another key's intact but not trusted, a changed
// one changed, and a file that is no report unreadable.
#include <QAction>
#include <QCheckBox>
#include <QPushButton>

#include "MainWindowFixture.h"
#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "report/ReportCrypto.h"
#include "report/ReportWriter.h"
#include "report/SshFormat.h"
#include "uisupport/Screenshot.h"

namespace {

class VerifyReportUi : public MainWindowFixture {
  protected:
    // The text of the box the check ends with.
    std::string Check(CKelvaneDlg& dlg, const std::string& report) {
        const size_t before = MessageBoxes::History().size();
        FileDialogs::SetNextOpenFiles({QString::fromStdString(report)});
        dlg.OnCommand(CKelvaneDlg::ID_VERIFY_REPORT);
        EXPECT_TRUE(WaitUntil([&] { return MessageBoxes::History().size() > before; }));
        if (MessageBoxes::History().size() <= before) return {};
        return MessageBoxes::History().back().text.toStdString();
    }
};

}  // namespace

TEST_F(VerifyReportUi, SaysTrustedUntrustedChangedOrUnreadable) {
    auto dlg = Open();
    QAction* item =
        dlg->findChild<QAction*>(QStringLiteral("menu%1").arg(CKelvaneDlg::ID_VERIFY_REPORT));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(Caption(item->text()), QStringLiteral("Verify a report..."));

    // A report of the user's own key: shredded through the window.
    dir_.WriteFile("docs/a.txt", "secret");
    dlg->AppendRow(u"a.txt", u"6", u"2020-01-01 00:00:00", dir_.WSub("docs/a.txt"));
    static_cast<QCheckBox*>(dlg->Control(CKelvaneDlg::IDC_CONFIRM))->setChecked(false);
    QTest::mouseClick(static_cast<QPushButton*>(dlg->Control(CKelvaneDlg::IDC_SHRED)),
                      Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Workers().AllDone(); }));
    dlg->Workers().JoinAll();
    const std::string own = dlg->State().LastReport().first;
    ASSERT_FALSE(own.empty());
    const std::string trusted = Check(*dlg, own);
    EXPECT_EQ(trusted.rfind("The report is intact and signed by a key trusted here.", 0), 0u)
        << trusted;
    EXPECT_NE(trusted.find("your own key"), std::string::npos) << trusted;
    EXPECT_EQ(Utf8FromWide(dlg->StatusText()),
              "The report is intact and signed by a key trusted here.");
    SaveScreenshot(dlg.get(), QStringLiteral("verify_report_trusted"));

    // Another key's report: intact, not trusted, with the key and how to trust it.
    ReportPlan plan;
    plan.folder = dir_.Sub("other/");
    plan.keyFile = dir_.Sub("other.pem");
    RunRecord r;
    r.id = reportcrypto::NewUuid();
    r.kind = "files";
    r.start = 1'800'000'000;
    r.end = r.start + 1;
    r.outcome = "done";
    const WrittenReport other = WriteRunReport(r, plan);
    ASSERT_FALSE(other.json.empty());
    const std::string untrusted = Check(*dlg, other.json);
    EXPECT_EQ(untrusted.rfind("The report is intact, but signed by a key not trusted here.", 0), 0u)
        << untrusted;
    reportcrypto::SigningKey key;
    std::string error;
    ASSERT_TRUE(reportcrypto::LoadKey(plan.keyFile, key, error)) << error;
    EXPECT_NE(untrusted.find(sshformat::Fingerprint(key.publicKey)), std::string::npos);
    EXPECT_NE(untrusted.find("namespaces=\"kelvane-report\""), std::string::npos);

    std::string text = ReadWholeFile(own);
    text[text.find("\"done\"") + 1] = 'D';
    dir_.WriteFile("changed.json", text);
    EXPECT_EQ(Check(*dlg, dir_.Sub("changed.json"))
                  .rfind("The report was changed: it is not as it was signed.", 0),
              0u);
    dir_.WriteFile("object.json", "{}");
    const std::string unreadable = Check(*dlg, dir_.Sub("object.json"));
    EXPECT_EQ(unreadable.rfind("The report cannot be checked:", 0), 0u) << unreadable;
    EXPECT_NE(unreadable.find("is not a Kelvane report"), std::string::npos) << unreadable;
    EXPECT_EQ(unreadable.find("CHANGED"), std::string::npos) << unreadable;
}
