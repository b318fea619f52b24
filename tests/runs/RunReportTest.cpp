// The report every run leaves: what it holds per entry and drive, that it fits
// the shipped schema, and that it says how the run ended.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/ShredCheck.h"
#include "log/MadeFiles.h"
#include "platform/FillSystem.h"
#include "report/HiddenNames.h"
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
    // Data journal, inline data, other names, not verifiable, and the earlier
    // versions left in the free space of both drives.
    EXPECT_EQ(report.Get("warnings")->items().size(), 5u);
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
                    e.path().filename() == MadeFiles::kRecordName ||
                    e.path().filename() == "kelvane-report-names.key")
            << e.path();
    const JsonValue report = Report();
    EXPECT_EQ(report.Get("outcome")->text(), "interrupted");
    EXPECT_EQ(report.Get("exitStatus")->integer(), 2);
    EXPECT_TRUE(report.Get("namesHidden")->boolean());
    // b was under way when the stop came; c was never reached and is said so.
    ASSERT_EQ(report.Get("entries")->items().size(), 3u);
    std::string secret, error;
    ASSERT_TRUE(LoadNameSecret(NameSecretFile(dir.Sub("storage/")), secret, error)) << error;
    const JsonValue* c = Entry(
        report, HiddenName(ReportNameKey(secret, report.Get("id")->text()), dir.Sub("sub/c")));
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

TEST_F(RunReportTest, FolderRunCountsHardLinksOfFilesOnly) {
    // Folders have a link count of two and more; none of it is another name.
    // Listed as the window lists a folder: its files, then its folders, deepest first.
    AddFile("tree/a/one", "one");
    AddFile("tree/a/b/two", "two");
    AddFile("tree/c/three", "three");
    dir.MakeDir("tree/d/e");
    for (const char* f : {"tree/a/b/", "tree/a/", "tree/c/", "tree/d/e/", "tree/d/", "tree/"})
        AddFolderRow(f);
    Run();
    EXPECT_EQ(window.status.rfind(Done(), 0), 0u) << Utf8FromWide(window.status);
    JsonValue report = Report();
    for (const JsonValue& e : report.Get("entries")->items()) {
        if (e.Get("kind")->text() != "file") {
            EXPECT_EQ(e.Get("hardLinks")->integer(), 0) << WriteJson(e);
        }
    }
    for (const JsonValue& w : report.Get("warnings")->items()) {
        EXPECT_EQ(w.text().find("other names"), std::string::npos) << w.text();
    }
    EXPECT_EQ(report.Get("totals")->Get("erasedWithExceptions")->integer(), 0);

    // A file that has another name outside the chosen folder is counted, once.
    AddFile("tree2/x/linked", "linked");
    AddFile("tree2/x/plain", "plain");
    ASSERT_EQ(::link(dir.Sub("tree2/x/linked").c_str(), dir.Sub("other-name").c_str()), 0);
    for (const char* f : {"tree2/x/", "tree2/"}) AddFolderRow(f);
    Run();
    EXPECT_EQ(window.status.rfind(Done(), 0), 0u) << Utf8FromWide(window.status);
    report = Report();
    int counted = 0;
    for (const JsonValue& w : report.Get("warnings")->items())
        if (w.text().find("other names") != std::string::npos) {
            ++counted;
            EXPECT_EQ(w.text().rfind("1 file(s)", 0), 0u) << w.text();
        }
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(Entry(report, dir.Sub("tree2/x/linked"))->Get("hardLinks")->integer(), 2);
}

TEST_F(RunReportTest, HiddenNamesCannotBeGuessedFromTheReportAlone) {
    AddFile("known-folder/tax.txt", "secret");
    AddFile("known-folder/notes.txt", "secret");
    AddFolderRow("known-folder/");
    window.settings.reportHideNames = true;
    Run();
    EXPECT_EQ(window.status.rfind(Done(), 0), 0u) << Utf8FromWide(window.status);
    const JsonValue report = Report();
    const std::string path = state.LastReport().first;
    // The secret stays in the storage folder, private, and out of the report.
    const std::string secretFile = NameSecretFile(dir.Sub("storage/"));
    struct stat st {};
    ASSERT_EQ(::lstat(secretFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string secret, error;
    ASSERT_TRUE(LoadNameSecret(secretFile, secret, error)) << error;
    EXPECT_EQ(text.find(reportcrypto::Hex(secret)), std::string::npos);
    EXPECT_EQ(report.Get("nameSalt"), nullptr);
    EXPECT_EQ(report.Get("nameKeyId")->text(), NameKeyId(secret));
    EXPECT_EQ(text.find("known-folder"), std::string::npos);
    // A guess under the known folder, hashed with everything the report holds,
    // is found nowhere in it.
    const std::string guess = dir.Sub("known-folder/tax.txt");
    const std::string id = report.Get("id")->text(), keyId = report.Get("nameKeyId")->text();
    for (const std::string& h :
         {reportcrypto::Hex(reportcrypto::Sha256(guess)),
          reportcrypto::Hex(reportcrypto::Sha256(id + guess)),
          reportcrypto::Hex(HmacSha256(id, guess)), reportcrypto::Hex(HmacSha256(keyId, guess)),
          reportcrypto::Hex(HmacSha256(ReportNameKey(keyId, id), guess))})
        EXPECT_EQ(text.find(h), std::string::npos) << h;
    // With the secret, --path tells: the file and the folder are there, a
    // neighbour that was not shredded is not.
    EXPECT_TRUE(FindHiddenPath(path, guess, dir.Sub("storage/")).found);
    EXPECT_TRUE(FindHiddenPath(path, dir.Sub("known-folder"), dir.Sub("storage/")).found);
    const HiddenPathAnswer no =
        FindHiddenPath(path, dir.Sub("known-folder/taxes.txt"), dir.Sub("storage/"));
    EXPECT_FALSE(no.found);
    ASSERT_EQ(no.lines.size(), 1u);
    EXPECT_EQ(no.lines[0].rfind("NOT FOUND: ", 0), 0u) << no.lines[0];
    // Another user's secret cannot tell, and says why.
    dir.MakeDir("other/");
    ::chmod(dir.Sub("other").c_str(), 0700);
    std::string otherSecret;
    ASSERT_TRUE(LoadOrCreateNameSecret(NameSecretFile(dir.Sub("other/")), otherSecret, error));
    const HiddenPathAnswer other = FindHiddenPath(path, guess, dir.Sub("other/"));
    EXPECT_FALSE(other.found);
    ASSERT_EQ(other.lines.size(), 1u);
    EXPECT_NE(other.lines[0].find("another secret"), std::string::npos) << other.lines[0];
    // The same secret is used for the next report; its names differ all the same.
    AddFile("known-folder/tax.txt", "secret");
    Run();
    const JsonValue again = Report();
    EXPECT_EQ(again.Get("nameKeyId")->text(), keyId);
    EXPECT_NE(Entry(again, HiddenName(ReportNameKey(secret, again.Get("id")->text()), guess))
                  ->Get("path")
                  ->text(),
              HiddenName(ReportNameKey(secret, id), guess));
}

TEST_F(RunReportTest, ReportsOfEarlierVersionsWithASaltStillAnswerThePath) {
    // The form earlier versions wrote: the salt in the head, "sha256:" names.
    const std::string salt = "0123456789abcdef0123456789abcdef";
    std::string saltBytes;
    for (size_t i = 0; i < salt.size(); i += 2)
        saltBytes += static_cast<char>(std::stoi(salt.substr(i, 2), nullptr, 16));
    const std::string hidden =
        "sha256:" + reportcrypto::Hex(reportcrypto::Sha256(saltBytes + "/home/a/file.txt"));
    dir.WriteFile("old.json",
                  "{\n  \"report\": \"kelvane-erasure-report\",\n  \"id\": \"x\",\n"
                  "  \"namesHidden\": true,\n  \"nameSalt\": \"" +
                      salt + "\",\n  \"entries\": [\n    {\n      \"path\": \"" + hidden +
                      "\"\n    }\n  ]\n}\n");
    EXPECT_TRUE(FindHiddenPath(dir.Sub("old.json"), "/home/a/file.txt", "").found);
    EXPECT_FALSE(FindHiddenPath(dir.Sub("old.json"), "/home/a/other.txt", "").found);
    // The schema still takes such a salt, and the new names key beside it.
    EXPECT_TRUE(SchemaProblems(Schema(), JsonValue::String(salt), "#/properties/nameSalt").empty());
    EXPECT_FALSE(
        SchemaProblems(Schema(), JsonValue::String("not hex"), "#/properties/nameSalt").empty());
    EXPECT_TRUE(
        SchemaProblems(Schema(), JsonValue::String("0011223344556677"), "#/properties/nameKeyId")
            .empty());
}

TEST_F(RunReportTest, FreeSpaceKeptBackByTheFileSystemIsNotCalledErased) {
    TestMount tmp(TestMount::Kind::Tmpfs, 2048);
    KELVANE_REQUIRE_MOUNT(tmp);
    window.settings.diskShredBlockSize = 16384;
    window.settings.diskShredFileSize = 65536;
    window.iterationsText = u"1";
    // The file system says it keeps 9 blocks for itself once the drive is full.
    FillSystemCalls calls = DefaultFillSystemCalls();
    int asked = 0;
    calls.keptBack = [&asked](int, FsKind) {
        ++asked;
        return KeptBack{36864, "xfs-free-lists"};
    };
    ScopedFillSystem scoped(calls);
    state.drivesTable.AppendRow(tmp.Path());
    WorkerThreads threads;
    ASSERT_TRUE(StartFreeSpaceRun(threads, window, state, [] { return true; }));
    threads.JoinAll();
    EXPECT_EQ(asked, 1);
    const JsonValue report = Report();
    const JsonValue& d = report.Get("drives")->items()[0];
    EXPECT_EQ(d.Get("result")->text(), "erased-with-exceptions");
    ASSERT_EQ(d.Get("notReached")->items().size(), 1u);
    EXPECT_EQ(d.Get("notReached")->items()[0].Get("what")->text(), "xfs-free-lists");
    EXPECT_EQ(d.Get("notReached")->items()[0].Get("bytes")->integer(), 36864);
    EXPECT_NE(d.Get("error")->text().find("36864 bytes the file system keeps for itself"),
              std::string::npos)
        << d.Get("error")->text();
    ASSERT_EQ(report.Get("warnings")->items().size(), 1u);
    EXPECT_EQ(
        report.Get("warnings")->items()[0].text().rfind("drive 1: 36864 bytes not reached", 0), 0u);
    EXPECT_EQ(report.Get("totals")->Get("erased")->integer(), 0);
    // The status line says it too, and the run is done: nothing failed.
    EXPECT_NE(window.status.find(u"1 MB the file system keeps for itself not reached"),
              std::u16string::npos);
    EXPECT_EQ(state.lastOutcome.load(), RunOutcome::Done);
}
