// The report of a kelvane-cli run, and verify-report on it and on a changed copy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "CliProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(CliReport, ShredLeavesASignedReportThatVerifyReportChecks) {
    TempDir tmp;
    tmp.WriteFile("work/a.txt", "secret a");
    tmp.WriteFile("work/b.txt", "secret b");
    tmp.MakeDir("extra");
    const CliResult run = RunCli(tmp.Sub("config"), {"shred", "-y", "-v", "-n", "1", "--report",
                                                     tmp.Sub("extra"), tmp.Sub("work")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> reports;
    for (const auto& e : fs::directory_iterator(tmp.Sub("config/Tessarin/Kelvane/Reports")))
        if (e.path().extension() == ".json") reports.push_back(e.path());
    ASSERT_EQ(reports.size(), 1u);
    // Each copy with its OpenSSH signature beside it.
    EXPECT_TRUE(fs::exists(reports[0] + ".sig"));
    const std::string name = fs::path(reports[0]).filename();
    EXPECT_EQ(name.rfind("kelvane-report-", 0), 0u);
    EXPECT_EQ(ReadWholeFile(reports[0]), ReadWholeFile(tmp.Sub("extra/") + name));
    EXPECT_EQ(ReadWholeFile(reports[0] + ".sig"), ReadWholeFile(tmp.Sub("extra/") + name + ".sig"));
    // Said once, though -v shows the log's own report lines too.
    const std::string said = "Report: " + reports[0] + "\n";
    // A message: on standard error, the data (the entries' lines) on standard output.
    const size_t first = run.err.find(said);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(said, first + 1), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("Report: "), std::string::npos) << run.out;
    struct stat st {};
    ASSERT_EQ(::stat(tmp.Sub("config/Tessarin/Kelvane/kelvane-report-key.pem").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const CliResult ok = RunCli(tmp.Sub("config"), {"verify-report", reports[0]});
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    EXPECT_EQ(ok.out.rfind("INTACT: " + reports[0], 0), 0u) << ok.out;
    EXPECT_NE(ok.out.find("Outcome: done"), std::string::npos) << ok.out;
    std::string text = ReadWholeFile(reports[0]);
    const size_t at = text.find("a.txt");
    ASSERT_NE(at, std::string::npos);
    text[at] = 'c';
    TempDir::WriteFileAt(tmp.Sub("changed.json"), text);
    const CliResult bad = RunCli(tmp.Sub("config"), {"verify-report", tmp.Sub("changed.json")});
    EXPECT_EQ(bad.exitCode, 1) << bad.out;
    EXPECT_EQ(bad.out.rfind("CHANGED: ", 0), 0u) << bad.out;
    EXPECT_NE(bad.out.find("signature does not match"), std::string::npos) << bad.out;
    EXPECT_EQ(RunCli(tmp.Sub("config"), {"verify-report"}).exitCode, 4);
}
