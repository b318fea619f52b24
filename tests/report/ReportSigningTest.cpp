// The signed report: any changed byte is found, the key is kept private, and a
// report is never written into a folder being shredded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "report/ReportJson.h"
#include "report/ReportWriter.h"
#include "support/TempDir.h"

namespace {

RunRecord SampleRecord() {
    RunRecord r;
    r.id = reportcrypto::NewUuid();
    r.kind = "files";
    r.start = 1'800'000'000;
    r.end = r.start + 61;
    r.outcome = "done";
    r.exitStatus = 0;
    r.method.passes = 3;
    ReportEntry e;
    e.path = "/home/u/caf\xc3\xa9 \"q\"\\n.txt";
    e.kind = "file";
    e.size = 12;
    e.result = "erased";
    r.entries.push_back(e);
    return r;
}

}  // namespace

TEST(ReportSigning, EveryChangedByteFailsAndTheIntactTextPasses) {
    TempDir dir;
    reportcrypto::SigningKey key;
    std::string error;
    ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir.Sub("k.pem"), key, error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(dir.Sub("k.pem").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    reportcrypto::SigningKey again;
    ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir.Sub("k.pem"), again, error));
    EXPECT_EQ(again.publicKey, key.publicKey) << "the key made on first use is kept";

    const std::string text = SignReport(ReportToJson(SampleRecord(), 1), key);
    ASSERT_FALSE(text.empty());
    const ReportCheck intact = CheckReportText(text, nullptr);
    EXPECT_TRUE(intact.intact) << (intact.problems.empty() ? "" : intact.problems[0]);
    EXPECT_EQ(intact.fingerprint, reportcrypto::Fingerprint(key.publicKey));
    for (size_t i = 0; i < text.size(); ++i) {
        for (char flip : {'\x01', '\x20'}) {
            std::string changed = text;
            changed[i] = static_cast<char>(changed[i] ^ flip);
            ASSERT_FALSE(CheckReportText(changed, nullptr).intact) << "byte " << i;
        }
    }
    EXPECT_FALSE(CheckReportText(text + " ", nullptr).intact);
    EXPECT_FALSE(CheckReportText(text.substr(0, text.size() - 1), nullptr).intact);
    // Signed again by another key: intact, but under that key's fingerprint.
    reportcrypto::SigningKey other;
    ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir.Sub("o.pem"), other, error));
    EXPECT_NE(
        CheckReportText(SignReport(ReportToJson(SampleRecord(), 1), other), nullptr).fingerprint,
        intact.fingerprint);
    // A key file others may read is refused.
    ::chmod(dir.Sub("o.pem").c_str(), 0644);
    EXPECT_FALSE(reportcrypto::LoadKey(dir.Sub("o.pem"), other, error));
}

TEST(ReportSigning, WrittenPrivatelyAndNeverIntoAShreddedFolder) {
    TempDir dir;
    dir.MakeDir("shredded");
    ReportPlan plan;
    plan.folder = dir.Sub("Reports/");
    plan.keyFile = dir.Sub("key.pem");
    plan.extraPaths = {dir.Sub("shredded/r.json"), dir.Sub("extra.json"), dir.Sub("extra.json")};
    plan.shredded = {dir.Sub("shredded")};
    const WrittenReport w = WriteRunReport(SampleRecord(), plan);
    ASSERT_EQ(w.files.size(), 2u);
    EXPECT_EQ(w.json.rfind(dir.Sub("Reports/kelvane-report-20270115T080101Z-"), 0), 0u) << w.json;
    EXPECT_EQ(w.files[1], dir.Sub("extra.json"));
    EXPECT_FALSE(PathExists(dir.Sub("shredded/r.json")));
    // Problems: the shredded folder, and the second extra.json that would replace the first.
    ASSERT_EQ(w.problems.size(), 2u);
    EXPECT_NE(w.problems[0].find("being shredded"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(w.json), ReadWholeFile(dir.Sub("extra.json")));
    struct stat st {};
    ASSERT_EQ(::stat(dir.Sub("Reports").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(w.json.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const VerifyOutcome ok = VerifyReportFile(w.json, KELVANE_DATA_DIR "/");
    EXPECT_EQ(ok.status, 0);
    ASSERT_FALSE(ok.lines.empty());
    EXPECT_EQ(ok.lines[0], "INTACT: " + w.json);
    std::string text = ReadWholeFile(w.json);
    text[text.find("\"done\"") + 1] = 'D';
    TempDir::WriteFileAt(dir.Sub("changed.json"), text);
    const VerifyOutcome bad = VerifyReportFile(dir.Sub("changed.json"), KELVANE_DATA_DIR "/");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.lines[0], "CHANGED: " + dir.Sub("changed.json"));
    EXPECT_EQ(VerifyReportFile(dir.Sub("none.json"), KELVANE_DATA_DIR "/").status, 2);
}
