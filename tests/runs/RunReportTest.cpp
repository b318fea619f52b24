// The report every run leaves: what it holds per entry and drive, that it fits
// the shipped schema, and that it says how the run ended.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/ShredCheck.h"
#include "log/MadeFiles.h"
#include "report/ReportJson.h"
#include "runs/FileRunFixture.h"
#include "runs/FreeSpaceRun.h"
#include "runs/ShredPool.h"
#include "support/TestMount.h"

namespace {

const JsonValue& Schema() {
    static const JsonValue schema = [] {
        JsonValue s;
        std::string error;
        EXPECT_TRUE(
            ReadJson(ReadWholeFile(KELVANE_DATA_DIR "/kelvane-report-2.schema.json"), s, error))
            << error;
        return s;
    }();
    return schema;
}

class RunReportTest : public FileRunTest {
  protected:
    RunReportTest() {
        dir.MakeDir("storage");
        ::chmod(dir.Sub("storage").c_str(), 0700);
        state.storageFolder = dir.Sub("storage/");
    }

    // The report of the last run: intact, fitting the schema, parsed.
    JsonValue Report() {
        const std::string path = state.LastReport().first;
        EXPECT_EQ(path.rfind(dir.Sub("storage/Reports/kelvane-report-"), 0), 0u) << path;
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(::stat(dir.Sub("storage/Reports").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        text = ReadWholeFile(path);
        const ReportCheck check = CheckReportText(text, &Schema());
        EXPECT_TRUE(check.intact) << (check.problems.empty() ? "" : check.problems.front());
        JsonValue report;
        std::string error;
        EXPECT_TRUE(ReadJson(text, report, error)) << error;
        return report;
    }
    static const JsonValue* Entry(const JsonValue& report, const std::string& path) {
        for (const JsonValue& e : report.Get("entries")->items())
            if (e.Get("path")->text() == path) return &e;
        ADD_FAILURE() << "no entry " << path;
        static const JsonValue none = JsonValue::Object();
        return &none;
    }
    static std::string Field(const JsonValue* e, const char* key) { return e->Get(key)->text(); }

    std::string text;
};

}  // namespace

TEST_F(RunReportTest, MixedRunGivesEachEntryItsResultAndFitsTheSchema) {
    TestMount ext4(TestMount::Kind::Ext4Image, 16384);
    TestMount journal("ext4", 16384, {"-q", "-F", "-O", "inline_data"}, "data=journal");
    KELVANE_REQUIRE_MOUNT(ext4);
    KELVANE_REQUIRE_MOUNT(journal);
    const std::string big(16384, 'x');
    const std::string verified = ext4.Path() + "verified", spoiled = ext4.Path() + "spoiled";
    const std::string linked = ext4.Path() + "linked", warned = journal.Path() + "warned";
    const std::string inlined = journal.Path() + "inline";
    for (const std::string& p : {verified, spoiled, linked, warned}) TempDir::WriteFileAt(p, big);
    TempDir::WriteFileAt(inlined, "tiny");
    ASSERT_EQ(::link(linked.c_str(), (ext4.Path() + "other-name").c_str()), 0);
    for (const std::string& p : {verified, spoiled, linked, warned, inlined})
        window.AddRow(WideFromUtf8(p));
    window.AddRow(dir.WSub("gone"));  // vanished before the run
    window.settings.verifyLastPass = true;
    window.settings.reportOperator = "Op Erator";
    {
        SpoilAfterLastPassOf spoil(spoiled);
        Run();
    }

    const JsonValue report = Report();
    EXPECT_EQ(report.Get("outcome")->text(), "partly-done");
    EXPECT_EQ(report.Get("exitStatus")->integer(), 1);
    EXPECT_EQ(report.Get("kind")->text(), "files");
    EXPECT_EQ(report.Get("sanitization")->Get("methodType")->text(), "Clear");
    EXPECT_EQ(report.Get("sanitization")->Get("verificationMethod")->text(), "full read-back");
    EXPECT_EQ(report.Get("method")->Get("passes")->integer(), 1);
    EXPECT_EQ(report.Get("people")->Get("operator")->text(), "Op Erator");
    const JsonValue* v = Entry(report, verified);
    EXPECT_EQ(Field(v, "result"), "erased");
    EXPECT_EQ(Field(v, "verification"), "passed");
    EXPECT_EQ(v->Get("size")->integer(), 16384);
    EXPECT_EQ(v->Get("place")->Get("fileSystem")->text(), "ext4");
    EXPECT_EQ(v->Get("place")->Get("mountPoint")->text() + "/", ext4.Path());
    EXPECT_GT(v->Get("inode")->integer(), 0);
    const JsonValue* s = Entry(report, spoiled);
    EXPECT_EQ(Field(s, "result"), "not-erased");
    EXPECT_EQ(Field(s, "verification"), "failed");
    EXPECT_NE(Field(s, "error").find("differs at byte 4096"), std::string::npos)
        << Field(s, "error");
    const JsonValue* l = Entry(report, linked);
    EXPECT_EQ(Field(l, "result"), "erased-with-exceptions");
    EXPECT_EQ(l->Get("hardLinks")->integer(), 2);
    const JsonValue* w = Entry(report, warned);
    EXPECT_EQ(Field(w, "result"), "erased-with-exceptions");
    ASSERT_EQ(w->Get("verdict")->Get("reasons")->items().size(), 1u);
    EXPECT_EQ(w->Get("verdict")->Get("reasons")->items()[0].text(), "data-journal");
    const JsonValue* in = Entry(report, inlined);
    EXPECT_EQ(Field(in, "verification"), "not-verifiable");
    EXPECT_EQ(Field(in, "result"), "erased-with-exceptions");
    const JsonValue* g = Entry(report, dir.Sub("gone"));
    EXPECT_EQ(Field(g, "kind"), "missing");
    EXPECT_EQ(Field(g, "result"), "erased");
    EXPECT_NE(Field(g, "error").find("gone"), std::string::npos);
    const JsonValue* totals = report.Get("totals");
    EXPECT_EQ(totals->Get("erased")->integer(), 2);
    EXPECT_EQ(totals->Get("erasedWithExceptions")->integer(), 3);
    EXPECT_EQ(totals->Get("notErased")->integer(), 1);
    // Data journal, inline data, other names, not verifiable.
    EXPECT_EQ(report.Get("warnings")->items().size(), 4u);
    // The window's status line names the report after the run's own text.
    const std::u16string note = u" Report: " + WideFromUtf8(state.LastReport().first);
    EXPECT_EQ(window.status.rfind(Partly(), 0), 0u);
    EXPECT_EQ(window.status.substr(window.status.size() - note.size()), note);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Partly);
}

TEST_F(RunReportTest, StoppedRunSaysInterruptedAndHiddenNamesLeaveNoPath) {
    // Too big for files at once: the stop finds c not yet handed over.
    const std::string big(2 << 20, 'x');
    AddFile("sub/a", big);
    AddFile("sub/b", big);
    AddFile("sub/c", big);
    window.settings.reportHideNames = true;
    // The entries' part file: open in the storage folder while the run goes, and
    // gone with it, stopped as it is.
    auto partFiles = [this] {
        int n = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
            if (!ec && target.rfind(dir.Sub("storage/"), 0) == 0) ++n;
        }
        return n;
    };
    int partFilesDuringRun = -1;
    SetBeforeFileJobHook([&](const std::u16string& path) {
        if (path != dir.WSub("sub/b")) return;
        partFilesDuringRun = partFiles();
        state.stop = true;
    });
    Run();
    SetBeforeFileJobHook(nullptr);
    EXPECT_EQ(partFilesDuringRun, 1);
    EXPECT_EQ(partFiles(), 0);
    for (const auto& e : std::filesystem::directory_iterator(dir.Sub("storage")))
        EXPECT_TRUE(e.path().filename() == "Reports" ||
                    e.path().filename() == "kelvane-report-key.pem" ||
                    e.path().filename() == MadeFiles::kRecordName)
            << e.path();
    const JsonValue report = Report();
    EXPECT_EQ(report.Get("outcome")->text(), "interrupted");
    EXPECT_EQ(report.Get("exitStatus")->integer(), 2);
    EXPECT_TRUE(report.Get("namesHidden")->boolean());
    // b was under way when the stop came; c was never reached and is said so.
    ASSERT_EQ(report.Get("entries")->items().size(), 3u);
    const std::string salt = report.Get("nameSalt")->text();
    std::string saltBytes;
    for (size_t i = 0; i + 1 < salt.size(); i += 2)
        saltBytes += static_cast<char>(std::stoi(salt.substr(i, 2), nullptr, 16));
    const JsonValue* c = Entry(
        report, "sha256:" + reportcrypto::Hex(reportcrypto::Sha256(saltBytes + dir.Sub("sub/c"))));
    EXPECT_EQ(Field(c, "result"), "not-erased");
    EXPECT_NE(Field(c, "error").find("not reached"), std::string::npos);
    EXPECT_EQ(text.find("sub/"), std::string::npos);
    EXPECT_EQ(text.find(dir.Path()), std::string::npos);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Interrupted);
}

TEST_F(RunReportTest, FreeSpaceReportHoldsTheDriveFigures) {
    TestMount tmp(TestMount::Kind::Tmpfs, 2048);
    KELVANE_REQUIRE_MOUNT(tmp);
    window.settings.diskShredBlockSize = 16384;
    window.settings.diskShredFileSize = 65536;
    window.iterationsText = u"2";
    state.drivesTable.AppendRow(tmp.Path());
    WorkerThreads threads;
    ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
    threads.JoinAll();
    const JsonValue report = Report();
    EXPECT_EQ(report.Get("kind")->text(), "free-space");
    EXPECT_EQ(report.Get("outcome")->text(), "done");
    EXPECT_EQ(report.Get("method")->Get("passes")->integer(), 2);
    ASSERT_EQ(report.Get("drives")->items().size(), 1u);
    const JsonValue& d = report.Get("drives")->items()[0];
    EXPECT_EQ(d.Get("mountPoint")->text(), tmp.Path());
    EXPECT_EQ(d.Get("place")->Get("fileSystem")->text(), "tmpfs");
    EXPECT_EQ(d.Get("result")->text(), "erased");
    EXPECT_GT(d.Get("freeBytesBefore")->integer(), 1 << 20);
    EXPECT_GE(d.Get("bytesWritten")->integer(), d.Get("freeBytesBefore")->integer() - 65536);
    EXPECT_TRUE(d.Get("reserveReached")->boolean());
    EXPECT_EQ(d.Get("fillerFilesLeft")->integer(), 0);
    EXPECT_EQ(report.Get("totals")->Get("bytesWritten")->integer(),
              d.Get("bytesWritten")->integer());
}
