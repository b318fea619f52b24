// The report of a window's run: JSON and PDF side by side, the PDF's text holding
// the summary (pdftotext, where installed), hidden names in neither form, and
// the Reports... command handing the last report to the desktop.
#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QPushButton>
#include <QStatusBar>
#include <cstdio>
#include <filesystem>

#include "MainWindowFixture.h"
#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "report/ReportJson.h"
#include "report/ReportWriter.h"
#include "support/TempDir.h"
#include "ui/ReportPdf.h"

namespace {

// The PDF's text, or nullopt-like "" with `have` false where pdftotext is missing.
std::string PdfText(const std::string& pdf, bool& have) {
    have = std::system("command -v pdftotext >/dev/null 2>&1") == 0;
    if (!have) return {};
    std::string text;
    if (std::FILE* p = ::popen(("pdftotext -layout '" + pdf + "' - 2>/dev/null").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
        ::pclose(p);
    }
    return text;
}

class ReportUi : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        SetReportPdfMaker(MakeReportPdf);
        dir_.WriteFile("stay", "keeps the test folder");
    }
    void TearDown() override {
        SetReportPdfMaker(nullptr);
        MainWindowFixture::TearDown();
    }
    // Shreds `rel` (files of the test folder) through the window's button.
    void Shred(CKelvaneDlg& dlg, const std::vector<std::string>& rels) {
        for (const std::string& rel : rels) {
            dir_.WriteFile(rel, "secret data of " + rel);
            dlg.AppendRow(u"f", u"20", u"2020-01-01 00:00:00", dir_.WSub(rel));
        }
        static_cast<QCheckBox*>(dlg.Control(CKelvaneDlg::IDC_CONFIRM))->setChecked(false);
        QTest::mouseClick(static_cast<QPushButton*>(dlg.Control(CKelvaneDlg::IDC_SHRED)),
                          Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return dlg.Workers().AllDone(); }));
        dlg.Workers().JoinAll();
    }
};

}  // namespace

TEST_F(ReportUi, RunLeavesJsonAndPdfWithTheSummaryAndReportsOpensThePdf) {
    auto dlg = Open();
    dlg->Fields().reportOrganisation = "Acme Erasure Ltd";
    dlg->Fields().reportCustomer = "Customer Nine";
    Shred(*dlg, {"docs/office-file.txt", "docs/two.txt"});
    const auto [json, pdf] = dlg->State().LastReport();
    ASSERT_FALSE(json.empty());
    ASSERT_EQ(pdf, json.substr(0, json.size() - 5) + ".pdf");
    EXPECT_EQ(json.rfind(dir_.Sub("home/.config/Tessarin/Kelvane/Reports/kelvane-report-"), 0), 0u);
    EXPECT_EQ(ReadWholeFile(pdf).rfind("%PDF-", 0), 0u);
    EXPECT_TRUE(CheckReportText(ReadWholeFile(json), nullptr).intact);
    const QString status = dlg->StatusText().empty() ? QString() : ToQ(dlg->StatusText());
    EXPECT_TRUE(status.endsWith(QStringLiteral("Report: ") + QString::fromStdString(pdf)))
        << status.toStdString();
    bool have = false;
    const std::string text = PdfText(pdf, have);
    if (have) {
        const std::string fingerprint = CheckReportText(ReadWholeFile(json), nullptr).fingerprint;
        for (const std::string& want :
             {std::string("Certificate of Sanitization"),  // no ligatures, paths copy exactly
              std::string("NIST SP 800-88 Rev. 1: Clear"), std::string("Acme Erasure Ltd"),
              std::string("Customer Nine"),
              std::string("Done: every entry was dealt with (exit status 0)"),
              std::string("0 not erased, 0 erased with exceptions, 2 erased"),
              std::string("of random data, written in place"), dir_.Sub("docs/office-file.txt"),
              fingerprint.substr(0, 30)})
            EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    }
    opened.clear();
    dlg->OnCommand(CKelvaneDlg::ID_REPORTS);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(Utf8FromWide(opened[0]), pdf);
}

TEST_F(ReportUi, HiddenNamesLeaveNoPathInJsonOrPdf) {
    auto dlg = Open();
    dlg->Fields().reportHideNames = true;
    Shred(*dlg, {"private-folder/tax-return.txt"});
    const auto [json, pdf] = dlg->State().LastReport();
    ASSERT_FALSE(pdf.empty());
    const std::string jsonText = ReadWholeFile(json);
    EXPECT_EQ(jsonText.find("private-folder"), std::string::npos);
    EXPECT_EQ(jsonText.find("tax-return"), std::string::npos);
    EXPECT_EQ(jsonText.find(dir_.Path()), std::string::npos);
    EXPECT_NE(jsonText.find("\"path\": \"hmac-sha256:"), std::string::npos);
    bool have = false;
    const std::string text = PdfText(pdf, have);
    if (!have) GTEST_SKIP() << "pdftotext is not installed: the PDF's text was not checked";
    EXPECT_NE(text.find("hmac-sha256:"), std::string::npos) << text;
    EXPECT_EQ(text.find("private-folder"), std::string::npos) << text;
    EXPECT_EQ(text.find("tax-return"), std::string::npos) << text;
}

TEST(ReportPdf, NeedsAttentionFirstInPlainWordsWithSignatureLines) {
    TempDir dir;
    RunRecord r;
    r.id = "00000000-0000-4000-8000-000000000000";
    r.kind = "files";
    r.outcome = "partly-done";
    r.exitStatus = 1;
    r.method.passes = 3;
    r.method.verification = true;
    // Fifty entries erased, then one with exceptions and one not erased, last
    // in run order: the page shows those two first.
    for (int i = 0; i < 50; ++i) {
        ReportEntry e;
        e.path = "/data/ok-" + std::to_string(i);
        e.kind = "file";
        e.result = "erased";
        e.verification = "passed";
        r.entries.push_back(e);
    }
    ReportEntry odd;
    odd.path = "/data/linked-file";
    odd.kind = "file";
    odd.result = "erased-with-exceptions";
    odd.error = "done, 1 other name remains";
    r.entries.push_back(odd);
    ReportEntry bad;
    bad.path = "/data/failed-file";
    bad.kind = "file";
    bad.result = "not-erased";
    bad.verification = "failed";
    bad.error = "FAILED! verification: the data read back differs at byte 4096";
    r.entries.push_back(bad);
    r.warnings = {
        "Old names: the ext4 file system at /data keeps copies of its folders in its "
        "journal, so earlier names of these files may remain there after the run.",
        "Earlier versions of these files (saved by editors, temporary files) may remain "
        "in the free space of their drives."};
    const std::string pdf = dir.Sub("report.pdf");
    std::string error;
    const int fd = ::open(pdf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const bool made = MakeReportPdf(r, "SHA256:00ff", fd, error);
    ::close(fd);
    ASSERT_TRUE(made) << error;
    bool have = false;
    const std::string text = PdfText(pdf, have);
    if (!have) GTEST_SKIP() << "pdftotext is not installed: the PDF's text was not checked";
    // Plain words, no tokens of the JSON.
    for (const char* token : {"partly-done", "erased-with-exceptions", "not-erased", "not-checked"})
        EXPECT_EQ(text.find(token), std::string::npos) << token << "\n" << text;
    const size_t failed = text.find("/data/failed-file"), linked = text.find("/data/linked-file");
    const size_t first = text.find("/data/ok-0");
    ASSERT_NE(failed, std::string::npos) << text;
    ASSERT_NE(linked, std::string::npos) << text;
    EXPECT_LT(failed, linked);
    EXPECT_LT(linked, first);
    EXPECT_EQ(text.find("/data/ok-45"), std::string::npos);  // beyond the first 40
    for (const std::string& want :
         {std::string("Partly done: some entries were not erased (exit status 1)"),
          std::string("NOT erased"), std::string("Erased, with exceptions"),
          std::string("differs at byte 4096"), std::string("Old names: the ext4 file system"),
          std::string("Earlier versions of these files"), std::string("Kelvane " KELVANE_VERSION),
          std::string("3 passes of random data"),
          std::string("every file read back after its last pass"), std::string("Organisation"),
          std::string("Operator"), std::string("Performed by"), std::string("Validated by"),
          std::string("and 12 more")})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
}

// With nothing on the desktop to open a PDF, Reports... says so and opens the
// folder of the reports instead (through the platform layer: no viewer starts).
TEST_F(ReportUi, ReportsWithNoViewerSaysSoAndOpensTheFolder) {
    auto dlg = Open();
    dlg->State().SetLastReport(dir_.Sub("Reports/r.json"), dir_.Sub("Reports/r.pdf"));
    PlatformServices fake = Platform();
    std::vector<std::u16string> tried;
    fake.shellOpen = [&](const std::u16string& target) {
        tried.push_back(target);
        return target.size() < 4 || target.substr(target.size() - 4) != u".pdf";
    };
    ScopedPlatform noViewer(fake);
    MessageBoxes::ClearHistory();
    dlg->ListView()->setFocus();
    dlg->OnCommand(CKelvaneDlg::ID_REPORTS);
    ASSERT_EQ(tried.size(), 2u);
    EXPECT_EQ(tried[0], dir_.WSub("Reports/r.pdf"));
    EXPECT_EQ(tried[1], dir_.WSub("Reports/"));
    ASSERT_EQ(MessageBoxes::History().size(), 1u);
    EXPECT_EQ(MessageBoxes::History()[0].kind, MessageBoxes::Kind::Information);
    EXPECT_EQ(MessageBoxes::History()[0].text,
              QStringLiteral("No program on this computer opens %1. The folder of the reports "
                             "is opened instead: %2")
                  .arg(QString::fromStdString(dir_.Sub("Reports/r.pdf")),
                       QString::fromStdString(dir_.Sub("Reports/"))));
    // A viewer that answers: only the PDF, no message.
    fake.shellOpen = [&](const std::u16string& target) {
        tried.push_back(target);
        return true;
    };
    ScopedPlatform viewer(fake);
    tried.clear();
    dlg->OnCommand(CKelvaneDlg::ID_REPORTS);
    EXPECT_EQ(tried, std::vector<std::u16string>{dir_.WSub("Reports/r.pdf")});
    EXPECT_EQ(MessageBoxes::History().size(), 1u);
}
