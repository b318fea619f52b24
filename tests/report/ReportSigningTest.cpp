// The signed report: any changed byte is found in either version, the key is
// kept private, a report is never written into a folder being shredded, and the
// entries of a run go through a part file that leaves nothing behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "config/AppSettings.h"
#include "config/TextConv.h"
#include "report/ReportJson.h"
#include "report/ReportRecorder.h"
#include "report/ReportStream.h"
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

// Open descriptors of this process naming something below `folder`.
int OpenBelow(const std::string& folder) {
    int n = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind(folder, 0) == 0) ++n;
    }
    return n;
}

const JsonValue& SchemaOf(int version) {
    static JsonValue schemas[3];
    JsonValue& s = schemas[version];
    std::string error;
    if (s.type() == JsonValue::Type::kNull) {
        EXPECT_TRUE(
            ReadJson(ReadWholeFile(KELVANE_DATA_DIR "/" + ReportSchemaFile(version)), s, error))
            << error;
    }
    return s;
}

ReportTrust OwnKeyTrust(const std::string& keyFile) {
    TrustSources sources;
    sources.ownKeyFiles = {keyFile};
    ReportTrust trust;
    std::string error;
    EXPECT_TRUE(LoadReportTrust(sources, trust, error)) << error;
    return trust;
}

// Every byte flipped two ways, a byte added and the last byte cut: each fails.
void ExpectEveryChangeFails(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        for (char flip : {'\x01', '\x20'}) {
            std::string changed = text;
            changed[i] = static_cast<char>(changed[i] ^ flip);
            ASSERT_FALSE(CheckReportText(changed, nullptr).intact) << "byte " << i;
        }
    EXPECT_FALSE(CheckReportText(text + " ", nullptr).intact);
    EXPECT_FALSE(CheckReportText(text.substr(0, text.size() - 1), nullptr).intact);
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
    ExpectEveryChangeFails(text);
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
    // Each JSON with its OpenSSH signature beside it.
    ASSERT_EQ(w.files.size(), 4u);
    EXPECT_EQ(w.json.rfind(dir.Sub("Reports/kelvane-report-20270115T080101Z-"), 0), 0u) << w.json;
    EXPECT_EQ(w.files[1], w.json + ".sig");
    EXPECT_EQ(w.files[2], dir.Sub("extra.json"));
    EXPECT_EQ(w.files[3], dir.Sub("extra.json.sig"));
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

    const ReportTrust trust = OwnKeyTrust(plan.keyFile);
    const VerifyOutcome ok = VerifyReportFile(w.json, KELVANE_DATA_DIR "/", &trust);
    EXPECT_EQ(ok.status, 0);
    ASSERT_FALSE(ok.lines.empty());
    EXPECT_EQ(ok.lines[0], "INTACT: " + w.json);
    std::string text = ReadWholeFile(w.json);
    text[text.find("\"done\"") + 1] = 'D';
    TempDir::WriteFileAt(dir.Sub("changed.json"), text);
    const VerifyOutcome bad =
        VerifyReportFile(dir.Sub("changed.json"), KELVANE_DATA_DIR "/", &trust);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.lines[0], "CHANGED: " + dir.Sub("changed.json"));
    EXPECT_EQ(VerifyReportFile(dir.Sub("none.json"), KELVANE_DATA_DIR "/").status, 2);
}

TEST(ReportSigning, VersionTwoIsCheckedAPieceAtATimeAndEveryChangedByteFails) {
    TempDir dir;
    reportcrypto::SigningKey key;
    std::string error;
    ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir.Sub("k.pem"), key, error)) << error;
    RunRecord r = SampleRecord();
    r.entries.push_back(r.entries[0]);
    r.entries[1].path = "/home/u/b";
    r.entries[1].result = "not-erased";
    r.entries[1].error = "FAILED!";
    const std::string text = SignRunReport(r, key).Text();
    ASSERT_EQ(ReportVersionOf(text), 2);
    const ReportCheck intact = CheckReportText(text, &SchemaOf(2));
    EXPECT_TRUE(intact.intact) << (intact.problems.empty() ? "" : intact.problems[0]);
    // Fed in pieces of any size, the same.
    ReportStreamCheck pieces(&SchemaOf(2));
    for (size_t at = 0; at < text.size(); at += 7) pieces.Feed(text.substr(at, 7));
    EXPECT_TRUE(pieces.Finish().intact);
    // Every byte, in the head, the entries and the signature.
    ExpectEveryChangeFails(text);
    // An entry taken out is found; the same report written another way parses but
    // is refused.
    std::string dropped = text;
    const size_t second = dropped.find(",\n    {");
    dropped.erase(second, dropped.find("\n  ]") - second);
    EXPECT_FALSE(CheckReportText(dropped, nullptr).intact);
    JsonValue parsed;
    ASSERT_TRUE(ReadJson(text, parsed, error)) << error;
    EXPECT_FALSE(CheckReportText(WriteJsonItem(parsed, 1) + "\n", nullptr).intact);

    // Files of both versions verify as written: version 1 reports stay valid.
    TempDir::WriteFileAt(dir.Sub("v2.json"), text);
    TempDir::WriteFileAt(dir.Sub("v1.json"), SignReport(ReportToJson(SampleRecord(), 1), key));
    const ReportTrust trust = OwnKeyTrust(dir.Sub("k.pem"));
    for (const char* name : {"v1.json", "v2.json"}) {
        const VerifyOutcome v = VerifyReportFile(dir.Sub(name), KELVANE_DATA_DIR "/", &trust);
        EXPECT_EQ(v.status, 0) << name << ": " << (v.lines.size() > 1 ? v.lines[1] : "");
        // The answer, the key, no signature file beside it, and the summary.
        EXPECT_EQ(v.lines.size(), 8u) << name << ": the schema found, the summary given";
    }
}

TEST(ReportSigning, RecorderKeepsEntriesInANamelessPartFileThatGoesWithTheRecord) {
    TempDir dir;
    dir.MakeDir("part");
    AppSettings settings;
    const std::string part = dir.Sub("part/");
    const int entries = static_cast<int>(kReportShownEntries) + 60;
    {
        ReportRecorder recorder;
        recorder.Begin("files", settings, 1, 1'800'000'000, {part});
        for (int i = 0; i < entries; ++i) {
            const std::u16string path = dir.WSub("gone" + std::to_string(i));
            recorder.AddEntry(path);
            recorder.EntryEnded(path, i % 3 != 0, u"[FAILED!]");
        }
        recorder.AddEntry(dir.WSub("under way"));  // never ended: in the report all the same
        EXPECT_EQ(OpenBelow(part), 1) << "the part file is open while the run goes";
        RunRecord record = recorder.Finish(1, 1'800'000'060);
        EXPECT_EQ(record.entries.size(), kReportShownEntries);
        EXPECT_EQ(record.tally.entries, entries + 1);
        ReportPlan plan;
        plan.folder = dir.Sub("Reports/");
        plan.keyFile = dir.Sub("key.pem");
        const WrittenReport w = WriteRunReport(std::move(record), plan);
        ASSERT_FALSE(w.json.empty()) << (w.problems.empty() ? "" : w.problems[0]);
        const std::string text = ReadWholeFile(w.json);
        EXPECT_TRUE(CheckReportText(text, &SchemaOf(2)).intact);
        JsonValue report;
        std::string error;
        ASSERT_TRUE(ReadJson(text, report, error)) << error;
        EXPECT_EQ(report.Get("entries")->items().size(), static_cast<size_t>(entries + 1));
        EXPECT_EQ(report.Get("totals")->Get("notErased")->integer(), (entries + 2) / 3 + 1);
    }
    EXPECT_EQ(OpenBelow(part), 0) << "the part file went with the record";
    EXPECT_TRUE(std::filesystem::is_empty(part)) << "no name was ever left in the folder";
}
