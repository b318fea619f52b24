// Scheduled jobs through the built kelvane-cli: units that systemd accepts, the
// service's own command run as the timer would run it, runs skipped (and nothing
// touched) when a chosen folder or drive is no longer what it was, and the crontab
// line where no user manager runs. systemctl is a script of the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "CliProcess.h"
#include "MiniJson.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        out.push_back(w.size() > 1 && w.front() == '"' ? w.substr(1, w.size() - 2) : w);
    return out;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class ScheduleTest : public ::testing::Test {
  protected:
    ScheduleTest() {
        // A user manager of the test's own: it answers as told and notes each call.
        fake_ = tmp.Sub("systemctl");
        SetManager(true);
        ::setenv("KELVANE_SYSTEMCTL", fake_.c_str(), 1);
        std::string error;
        EXPECT_TRUE(ParseJson(ReadWholeFile(KELVANE_DATA_DIR "/kelvane-schedule.schema.json"),
                              schema_, error));
    }
    ~ScheduleTest() override { ::unsetenv("KELVANE_SYSTEMCTL"); }

    void SetManager(bool runs) const {
        TempDir::WriteFileAt(
            fake_, "#!/bin/sh\necho \"$*\" >> '" + tmp.Sub("calls") + "'\n" +
                       (runs ? "case \"$2\" in show) echo NextElapseUSecRealtime=@1900000000; "
                               "echo LastTriggerUSec=@0;; esac\nexit 0\n"
                             : "echo 'Failed to connect to bus: No medium found' >&2\nexit 1\n"));
        ::chmod(fake_.c_str(), 0755);
    }
    std::string Calls() const {
        return Exists(tmp.Sub("calls")) ? ReadWholeFile(tmp.Sub("calls")) : "";
    }
    CliResult Cli(const std::vector<std::string>& args) const {
        return RunCli(tmp.Sub("config"), args);
    }
    std::string Units() const { return tmp.Sub("config/systemd/user/"); }

    // Adds a job; its id.
    std::string Add(const std::vector<std::string>& run, int expectExit = 0) const {
        std::vector<std::string> args{"schedule", "add",   "--every", "daily",
                                      "--at",     "02:30", "--json"};
        args.insert(args.end(), run.begin(), run.end());
        const CliResult r = Cli(args);
        EXPECT_EQ(r.exitCode, expectExit) << r.err;
        Json v;
        std::string error;
        EXPECT_TRUE(ParseJson(r.out.substr(0, r.out.find('\n')), v, error)) << r.out;
        EXPECT_EQ(CheckEventLine(schema_, r.out.substr(0, r.out.find('\n'))), "");
        return v.Get("id") ? v.Get("id")->text : "";
    }
    std::vector<Json> List() const {
        const CliResult r = Cli({"schedule", "list", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<Json> jobs;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(CheckEventLine(schema_, line), "");
            Json v;
            std::string error;
            if (ParseJson(line, v, error)) jobs.push_back(v);
        }
        return jobs;
    }

    TempDir tmp;
    std::string fake_;
    Json schema_;
};

TEST_F(ScheduleTest, AJobsServiceCommandRunsItAndLeavesAVerifiedReport) {
    tmp.MakeDir("export/old");
    tmp.WriteFile("export/old/a.txt", "secret");
    tmp.WriteFile("export/b.txt", "secret");
    const std::string id = Add({"shred", "-n", "1", tmp.Sub("export")});
    ASSERT_EQ(id.size(), 8u);
    EXPECT_NE(Calls().find("enable --now kelvane-job-" + id + ".timer"), std::string::npos)
        << Calls();

    const std::string timer = ReadWholeFile(Units() + "kelvane-job-" + id + ".timer");
    const std::string service = ReadWholeFile(Units() + "kelvane-job-" + id + ".service");
    EXPECT_NE(timer.find("OnCalendar=*-*-* 02:30:00\nPersistent=true\nRandomizedDelaySec="),
              std::string::npos);
    EXPECT_NE(service.find("IOSchedulingClass=idle"), std::string::npos);
    if (::access("/usr/bin/systemd-analyze", X_OK) == 0) {
        tmp.MakeDir("runtime");
        ::chmod(tmp.Sub("runtime").c_str(), 0700);
        const std::string verify = "XDG_RUNTIME_DIR='" + tmp.Sub("runtime") +
                                   "' systemd-analyze verify '" + Units() + "kelvane-job-" + id +
                                   ".timer' '" + Units() + "kelvane-job-" + id + ".service' 2>&1";
        EXPECT_EQ(std::system(verify.c_str()), 0) << verify;
    }

    std::vector<Json> jobs = List();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].Get("next")->number, 1900000000);
    EXPECT_EQ(jobs[0].Get("lastRun")->number, 0);

    // What the timer starts: the condition, then the run, word for word.
    auto command = [&](const std::string& key) {
        const size_t at = service.find("\n" + key + "=") + key.size() + 2;
        std::vector<std::string> words = Words(service.substr(at, service.find('\n', at) - at));
        EXPECT_EQ(words.front(), KELVANE_CLI_EXE);
        return std::vector<std::string>(words.begin() + 1, words.end());
    };
    EXPECT_EQ(Cli(command("ExecCondition")).exitCode, 0);
    const CliResult run = Cli(command("ExecStart"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Exists(tmp.Sub("export")));
    const size_t at = run.out.find("Report: ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string report = run.out.substr(at + 8, run.out.find('"', at) - at - 8);
    EXPECT_EQ(Cli({"verify-report", report}).exitCode, 0) << report;
    jobs = List();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].Get("lastOutcome")->text, "done");

    EXPECT_EQ(Cli({"schedule", "remove", id}).exitCode, 0);
    EXPECT_NE(Calls().find("disable --now kelvane-job-" + id + ".timer"), std::string::npos);
    EXPECT_FALSE(Exists(Units() + "kelvane-job-" + id + ".timer"));
    EXPECT_FALSE(Exists(Units() + "kelvane-job-" + id + ".service"));
    EXPECT_TRUE(List().empty());
}

TEST_F(ScheduleTest, AChangedWorldSkipsTheRunAndTouchesNothing) {
    tmp.MakeDir("linked");
    tmp.MakeDir("elsewhere");
    tmp.WriteFile("linked/a.txt", "x");
    tmp.WriteFile("elsewhere/keep.txt", "keep");
    tmp.MakeDir("removed");
    tmp.WriteFile("removed/a.txt", "x");
    const std::string linkJob = Add({"shred", "-n", "1", tmp.Sub("linked")});
    const std::string goneJob = Add({"shred", "-n", "1", tmp.Sub("removed")});
    // The folder replaced by a link to another, and one removed.
    ASSERT_EQ(::rename(tmp.Sub("linked").c_str(), tmp.Sub("moved").c_str()), 0);
    ASSERT_EQ(::symlink(tmp.Sub("elsewhere").c_str(), tmp.Sub("linked").c_str()), 0);
    ASSERT_EQ(std::system(("rm -r '" + tmp.Sub("removed") + "'").c_str()), 0);

    for (const std::string& id : {linkJob, goneJob}) {
        EXPECT_EQ(Cli({"run-job", id, "--check"}).exitCode, 1);  // systemd: skip
        EXPECT_EQ(Cli({"run-job", id, "--json"}).exitCode, 6);
    }
    EXPECT_TRUE(Exists(tmp.Sub("elsewhere/keep.txt")));
    EXPECT_TRUE(Exists(tmp.Sub("moved/a.txt")));

    // A drive unplugged: its mount point is then a folder of the disk below, here
    // a small file system of the test's own, so that a fill that went ahead anyway
    // could never reach a real disk.
    TestMount below(TestMount::Kind::Tmpfs, 2048);
    KELVANE_REQUIRE_MOUNT(below);
    const std::string usb = below.Path() + "/usb";
    ASSERT_EQ(::mkdir(usb.c_str(), 0700), 0);
    ASSERT_EQ(std::system(("mount -t tmpfs -o size=4m kelvane-test '" + usb + "'").c_str()), 0);
    const std::string driveJob = Add({"free-space", "-n", "1", usb});
    ASSERT_EQ(std::system(("umount '" + usb + "'").c_str()), 0);
    EXPECT_EQ(Cli({"run-job", driveJob, "--check"}).exitCode, 1);
    const CliResult fill = Cli({"run-job", driveJob, "--json"});
    EXPECT_EQ(fill.exitCode, 6);
    EXPECT_EQ(fill.out.find("temporary-file"), std::string::npos)
        << "the fill wrote below the drive";

    int skipped = 0;
    for (const Json& job : List())
        if (job.Get("lastOutcome") && job.Get("lastOutcome")->text == "skipped" &&
            !job.Get("lastReason")->text.empty())
            ++skipped;
    EXPECT_EQ(skipped, 3);
    // A job whose file names a path it holds no identity for is refused whole.
    const std::string jobFile = tmp.Sub("config/Tessarin/Kelvane/Jobs/" + goneJob + ".json");
    std::string text = ReadWholeFile(jobFile);
    text.replace(text.find("\"paths\": [\n"), 11, "\"paths\": [\n    \"/etc\",\n");
    TempDir::WriteFileAt(jobFile, text);
    EXPECT_EQ(Cli({"run-job", goneJob, "--check"}).exitCode, 255);
}

TEST_F(ScheduleTest, BadRequestsAreRefusedAndWithoutAManagerTheCrontabLineIsShown) {
    tmp.MakeDir("d");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"schedule", "add", "--calendar", "daily\nExecStart=/bin/sh",
                                   "shred", tmp.Sub("d")},
          {"schedule", "add", "--every", "hourly", "shred", tmp.Sub("d")},
          {"schedule", "add", "--every", "daily", "--at", "25:00", "shred", tmp.Sub("d")},
          {"schedule", "add", "--every", "daily", "check", tmp.Sub("d")},
          {"schedule", "add", "--every", "daily", "shred", tmp.Sub("d") + "/.."},
          {"schedule", "add", "--every", "daily", "free-space", tmp.Sub("d")},
          {"schedule", "remove", "../../x"},
          {"run-job", "nothex!!"}}) {
        const CliResult r = Cli(bad);
        EXPECT_EQ(r.exitCode, 4) << bad[3];
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(Exists(Units()));

    SetManager(false);
    const CliResult r =
        Cli({"schedule", "add", "--every", "weekly", "--at", "02:30", "shred", tmp.Sub("d")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No medium found"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("30 2 * * 1 '" KELVANE_CLI_EXE "' run-job "), std::string::npos) << r.err;
    const CliResult odd =
        Cli({"schedule", "add", "--calendar", "Sat..Sun 4:00", "shred", tmp.Sub("d")});
    EXPECT_NE(odd.err.find("has no crontab form"), std::string::npos) << odd.err;
}

}  // namespace
