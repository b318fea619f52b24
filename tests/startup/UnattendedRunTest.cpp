// The built program as a separate process, as a script or a scheduler starts it:
// no display, a configuration folder of its own, "-exec" or "-drives".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/SettingsFile.h"
#include "config/TextConv.h"
#include "platform/Volumes.h"
#include "support/DeadMount.h"
#include "support/TempDir.h"
#include "support/TestMount.h"
#include "support/TestText.h"

#ifdef KELVANE_EXE

extern char** environ;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;  // standard output and standard error together
};

// Starts the program without a display, its configuration under `config`.
// `onOutput` sees the output as it arrives (for sending a signal mid-run).
class Program {
  public:
    // `home`: HOME for the program (empty: this process's).
    Program(const std::string& config, const std::vector<std::string>& args,
            const std::string& home = "") {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string v = *e;
            if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                v.rfind("XDG_CONFIG_HOME=", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0 ||
                // Ours below must be the only one: with the leak check on, a program
                // that leaves a thread stuck on a dead drive never ends (the check
                // waits to stop that thread).
                v.rfind("ASAN_OPTIONS=", 0) == 0 || (!home.empty() && v.rfind("HOME=", 0) == 0))
                continue;
            env.push_back(v);
        }
        env.push_back("XDG_CONFIG_HOME=" + config);
        if (!home.empty()) env.push_back("HOME=" + home);
        env.push_back("ASAN_OPTIONS=detect_leaks=0");
        std::vector<std::string> argv{KELVANE_EXE};
        argv.insert(argv.end(), args.begin(), args.end());

        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);  // no terminal
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 2);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        std::vector<char*> a, e;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : env) e.push_back(s.data());
        e.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), e.data()), 0);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~Program() {
        if (fd_ >= 0) ::close(fd_);
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Reads output until `text` appears (true) or the program ends or 60 s pass.
    bool WaitFor(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (out_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !ReadSome(200)) return false;
        }
        return true;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

    Outcome Finish() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < end && ReadSome(200)) {
        }
        Outcome o;
        int status = 0;
        // The output ends a moment before the process can be reaped.
        pid_t r = 0;
        while ((r = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < end)
            ::usleep(10000);
        if (r == 0) {
            ::kill(pid_, SIGKILL);  // it hangs: the test fails instead of hanging too
            out_ += "\n[killed: still running after two minutes]";
            r = ::waitpid(pid_, &status, 0);
        }
        if (r == pid_) {
            reaped_ = true;
            o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        o.out = out_;
        return o;
    }

  private:
    // False at the end of the output.
    bool ReadSome(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return true;
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        out_.append(buf, static_cast<size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    bool reaped_ = false;
    std::string out_;
};

// Settings that ask nothing before each file (the default asks).
void WriteSettings(const TempDir& tmp, const std::string& entries) {
    tmp.WriteFile("config/Tessarin/Kelvane/Kelvane.ini", SettingsXml(entries));
}

std::string Log(const TempDir& tmp) {
    return Utf8FromLe(ReadWholeFile(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt")));
}

}  // namespace

TEST(UnattendedRun, ExecShredsFilesAndFoldersLogsAndExitsZero) {
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n  <Iterations>2</Iterations>\r\n");
    tmp.WriteFile("tree/a.txt", "secret");
    tmp.WriteFile("tree/sub/b.txt", "more secret");
    tmp.WriteFile("single.txt", "alone");

    Program p(tmp.Sub("config"),
              {"-exec", tmp.Sub("single.txt"), tmp.Sub("tree"), tmp.Sub("not-there")});
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 0) << o.out;
    EXPECT_FALSE(PathExists(tmp.Sub("tree"))) << o.out;
    EXPECT_FALSE(PathExists(tmp.Sub("single.txt")));
    EXPECT_NE(o.out.find("Shredding done."), std::string::npos) << o.out;

    const std::string log = Log(tmp);
    EXPECT_NE(log.find("Shredding files with 2 iterations"), std::string::npos) << log;
    EXPECT_NE(log.find(tmp.Sub("single.txt") + " [done]"), std::string::npos) << log;
    EXPECT_NE(log.find(tmp.Sub("tree/sub/b.txt") + " [done]"), std::string::npos) << log;
    // The folder chain went with the last file of each folder; no folder stayed.
    EXPECT_EQ(log.find("[FAILED!]"), std::string::npos) << log;

    // Without a window the report is a PDF too, not only its JSON.
    int json = 0, pdf = 0;
    for (const auto& e :
         std::filesystem::directory_iterator(tmp.Sub("config/Tessarin/Kelvane/Reports"))) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".json")) ++json;
        if (name.ends_with(".pdf") && ReadWholeFile(e.path().string()).rfind("%PDF-", 0) == 0)
            ++pdf;
    }
    EXPECT_EQ(json, 1);
    EXPECT_EQ(pdf, 1) << o.out;
}

TEST(UnattendedRun, SummaryGoesToStandardErrorAndTheRunGoesOn) {
    {
        // Asked for: the summary without warnings, then every file read back.
        TempDir tmp;
        WriteSettings(tmp,
                      "  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n"
                      "  <ShowSummary>1</ShowSummary>\r\n  <VerifyLastPass>1</VerifyLastPass>\r\n");
        tmp.WriteFile("a.bin", std::string(70000, 'a'));
        Program p(tmp.Sub("config"), {"-exec", tmp.Sub("a.bin")});
        Outcome o = p.Finish();
        EXPECT_EQ(o.exitCode, 0) << o.out;
        EXPECT_NE(o.out.find("Summary before shredding\nFiles: 1, folders: 0, total size: 70000 "
                             "bytes\nPasses per file: 1; after processing: Do nothing\nVerify "
                             "the last pass\nEvery file will be overwritten in place.\n"),
                  std::string::npos)
            << o.out;
        EXPECT_NE(Log(tmp).find(tmp.Sub("a.bin") + " [done, verified]"), std::string::npos);
    }
    // Not asked for, but a copy-on-write file system: warned, and still shredded.
    TestMount btrfs("btrfs", 128 * 1024, {"-q", "-f"});
    KELVANE_REQUIRE_MOUNT(btrfs);
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n");
    TempDir::WriteFileAt(btrfs.Path() + "x", std::string(50000, 'x'));
    TempDir::WriteFileAt(btrfs.Path() + "y", std::string(50000, 'y'));
    Program p(tmp.Sub("config"), {"-exec", btrfs.Path() + "x", btrfs.Path() + "y"});
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 0) << o.out;
    EXPECT_NE(o.out.find("Overwriting cannot be guaranteed to erase these files:\n"
                         "  copy-on-write or log-structured file system: 2 file(s)\n"
                         "      New data goes to new blocks"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("      " + btrfs.Path() + "x\n"), std::string::npos) << o.out;
    EXPECT_FALSE(PathExists(btrfs.Path() + "x"));
    const std::string log = Log(tmp);
    EXPECT_NE(log.find("copy-on-write or log-structured file system: 2 file(s)"), std::string::npos)
        << log;
    EXPECT_NE(log.find(btrfs.Path() + "y [done]"), std::string::npos) << log;
}

// The default settings ask before each file; without a terminal nobody could
// answer, so no run starts: one line says why, and nothing is touched or written.
TEST(UnattendedRun, QuestionsWithoutATerminalRefuseToStartAndTouchNothing) {
    TempDir tmp;
    tmp.WriteFile("keep.txt", "still here");
    tmp.WriteFile("tree/a.txt", "still here too");
    Program p(tmp.Sub("config"), {"-exec", tmp.Sub("keep.txt"), tmp.Sub("tree")});
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 4) << o.out;
    EXPECT_EQ(o.out,
              "kelvane: no terminal to ask before each file on; switch \"Confirm delete\" off "
              "to shred without asking\n");
    EXPECT_EQ(ReadWholeFile(tmp.Sub("keep.txt")), "still here");
    EXPECT_EQ(ReadWholeFile(tmp.Sub("tree/a.txt")), "still here too");
    EXPECT_FALSE(PathExists(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt")));
    EXPECT_FALSE(PathExists(tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini")));
}

TEST(UnattendedRun, NothingToShredAndNoSwitchEndAtOnce) {
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n");
    {
        Program p(tmp.Sub("config"), {"-exec", tmp.Sub("missing")});
        Outcome o = p.Finish();
        EXPECT_EQ(o.exitCode, 3);
        EXPECT_NE(o.out.find("No file(s) available!"), std::string::npos) << o.out;
    }
    {
        tmp.WriteFile("f.txt", "x");
        Program p(tmp.Sub("config"), {tmp.Sub("f.txt"), "-exec"});  // no switch: no run
        Outcome o = p.Finish();
        EXPECT_EQ(o.exitCode, 3);
        EXPECT_EQ(ReadWholeFile(tmp.Sub("f.txt")), "x");
    }
}

TEST(UnattendedRun, SigintFinishesTheCurrentFileAndExitsTwo) {
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n  <Iterations>20</Iterations>\r\n");
    const std::string block(64 * 1024, 'k');
    constexpr int kFiles = 200;
    for (int i = 0; i < kFiles; ++i) tmp.WriteFile("many/f" + std::to_string(100 + i), block);

    Program p(tmp.Sub("config"), {"-exec", tmp.Sub("many")});
    ASSERT_TRUE(p.WaitFor("Shredding [2 / ")) << "the run never started";
    // Held while the signal arrives, so that it lands in the middle of the run
    // however fast the files go.
    p.Signal(SIGSTOP);
    p.Signal(SIGINT);
    p.Signal(SIGCONT);
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 2) << o.out;
    EXPECT_NE(o.out.find("Shredding interrupted."), std::string::npos) << o.out;

    // Every file is either gone and logged as done, still whole, or stopped in
    // the middle of its passes, in place under its own name and logged so.
    const std::string log = Log(tmp);
    int gone = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string f = tmp.Sub("many/f" + std::to_string(100 + i));
        if (PathExists(f)) {
            if (log.find(f + " [interrupted after pass ") == std::string::npos)
                EXPECT_EQ(ReadWholeFile(f), block) << f;
        } else {
            ++gone;
            EXPECT_NE(log.find(f + " [done]"), std::string::npos) << f;
        }
    }
    // The file under way stops at once now, so the signal may land on the first.
    EXPECT_LT(gone, kFiles / 2) << "the signal did not stop the run";
}

// A drive that is not there is named and fails the run; the one that is there
// is filled all the same.
TEST(UnattendedRun, DrivesFillsTheExistingRootAndFailsTheMissingOne) {
    TestMount m(TestMount::Kind::Tmpfs, 4096);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir tmp;
    WriteSettings(tmp,
                  "  <DiskShredFileSize>1048576</DiskShredFileSize>\r\n"
                  "  <Iterations>1</Iterations>\r\n");
    Program p(tmp.Sub("config"), {"-drives", m.Path(), tmp.Sub("no-such-root/")});
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 1) << o.out;
    const std::string log = Log(tmp);
    EXPECT_NE(log.find("Shredding free disk space with 1 iterations"), std::string::npos) << log;
    EXPECT_NE(log.find(m.Path() + "Morvik.$$$temp$$$0000 [Temporary file]"), std::string::npos)
        << log;
    EXPECT_NE(log.find(m.Path() + " [done] "), std::string::npos) << log;
    EXPECT_NE(log.find(tmp.Sub("no-such-root/") + " [FAILED!] not found"), std::string::npos)
        << log;
    EXPECT_FALSE(PathExists(m.Path() + "Morvik.$$$temp$$$0000")) << "temporary files deleted";
}

TEST(UnattendedRun, ExecFreeSpaceAfterReachesTheRunAndIsNotStored) {
    TestMount memory(TestMount::Kind::Tmpfs, 1024);
    KELVANE_REQUIRE_MOUNT(memory);
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n");
    TempDir::WriteFileAt(memory.Path() + "m.txt", "m");
    Program p(tmp.Sub("config"), {"-exec", "--free-space-after", memory.Path() + "m.txt"});
    Outcome o = p.Finish();
    EXPECT_EQ(o.exitCode, 0) << o.out;
    EXPECT_FALSE(PathExists(memory.Path() + "m.txt"));
    // In memory: named, never filled.
    EXPECT_NE(Log(tmp).find(memory.Path() + " [free space not overwritten: a file system in "
                                            "memory]"),
              std::string::npos)
        << Log(tmp);
    const LoadedSettings stored = LoadSettings(tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini"));
    EXPECT_FALSE(stored.values.freeSpaceAfter);
    EXPECT_EQ(stored.values.iterations, 1);
}

// A run killed in the middle leaves the drive full; the next start of the
// program, whatever it is asked to do and whatever the name setting says by
// then, gives the space back and names each deleted file in the log.
TEST(UnattendedRun, KilledFillIsCleanedUpAtTheNextStart) {
    TestMount m(TestMount::Kind::Tmpfs, 64 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir tmp;
    WriteSettings(tmp,
                  "  <DiskShredFileSize>1048576</DiskShredFileSize>\r\n"
                  "  <DiskShredBlockSize>65536</DiskShredBlockSize>\r\n"
                  "  <Iterations>300</Iterations>\r\n");  // slow enough to be caught
    const uint64_t freeBefore = QueryDriveSpace(m.WPath()).totalFree;
    {
        Program p(tmp.Sub("config"), {"-drives", m.Path()});
        const bool seen = p.WaitFor("Morvik.$$$temp$$$0001");
        p.Signal(SIGKILL);
        Outcome killed = p.Finish();
        ASSERT_TRUE(seen) << killed.out;
        EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
    }
    ASSERT_TRUE(PathExists(m.Path() + "Morvik.$$$temp$$$0000")) << "the kill left files behind";
    EXPECT_LT(QueryDriveSpace(m.WPath()).totalFree, freeBefore);

    // The next start, a file run: the clean-up's lines go into that run's log,
    // not into the killed run's, which the run archives.
    WriteSettings(tmp,
                  "  <DiskShredFileName>Other.name</DiskShredFileName>\r\n"
                  "  <Confirm>0</Confirm>\r\n");
    tmp.WriteFile("file.txt", "x");
    Program again(tmp.Sub("config"), {"-exec", tmp.Sub("file.txt")});
    Outcome o = again.Finish();
    EXPECT_EQ(o.exitCode, 0) << o.out;
    EXPECT_NE(o.out.find("filler files of an interrupted free-space run"), std::string::npos)
        << o.out;
    EXPECT_EQ(QueryDriveSpace(m.WPath()).totalFree, freeBefore);
    const std::string log = Log(tmp);
    EXPECT_NE(log.find(m.Path() + "Morvik.$$$temp$$$0000 [Deleted filler file of an interrupted "
                                  "free-space run"),
              std::string::npos)
        << log;
}

// A drive whose server went away fails that drive; it never holds the start.
TEST(UnattendedRun, DrivesOnADriveThatDoesNotAnswerFailsInsteadOfHanging) {
    DeadMount dead;
    KELVANE_REQUIRE_DEAD_MOUNT(dead);
    TempDir tmp;
    WriteSettings(tmp, "  <Iterations>1</Iterations>\r\n");
    const auto start = std::chrono::steady_clock::now();
    Program p(tmp.Sub("config"), {"-drives", dead.Path()});
    Outcome o = p.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12)) << o.out;
    EXPECT_FALSE(dead.AbortedByWatchdog()) << "the program waited for the dead drive";
    EXPECT_EQ(o.exitCode, 1) << o.out;
    EXPECT_NE((o.out + Log(tmp)).find("not answering"), std::string::npos) << o.out << Log(tmp);
}

// Root with a storage folder that another user owns: it steers nothing, and
// the terminal says why.
TEST(UnattendedRun, ConfigurationOfAnotherUserIsNotUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    TempDir tmp;
    WriteSettings(tmp, "  <Confirm>0</Confirm>\r\n  <Iterations>1</Iterations>\r\n");
    for (const char* p : {"config/Tessarin/Kelvane", "config/Tessarin/Kelvane/Kelvane.ini"})
        ASSERT_EQ(::chown(tmp.Sub(p).c_str(), 65534, 65534), 0) << p;
    const std::string planted = ReadWholeFile(tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini"));
    tmp.WriteFile("file.txt", "x");
    Program p(tmp.Sub("config"), {"-exec", tmp.Sub("file.txt")});
    Outcome o = p.Finish();
    EXPECT_NE(o.out.find("kelvane: Not using " + tmp.Sub("config/Tessarin/Kelvane/")),
              std::string::npos)
        << o.out;
    // The built-in settings ask before each file; with no terminal no run starts.
    EXPECT_EQ(o.exitCode, 4) << o.out;
    EXPECT_TRUE(PathExists(tmp.Sub("file.txt")));
    EXPECT_EQ(ReadWholeFile(tmp.Sub("config/Tessarin/Kelvane/Kelvane.ini")), planted);
    EXPECT_FALSE(PathExists(tmp.Sub("config/Tessarin/Kelvane/KelvaneLog.txt")));
}

// Files that merely look like filler files are somebody's: no start, no fill
// deletes them, whatever the filler name.
TEST(UnattendedRun, FillerLookAlikesSurviveEveryStart) {
    TestMount m(TestMount::Kind::Tmpfs, 16 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    TempDir tmp;
    const std::vector<std::string> names{"Morvik.$$$temp$$$2024", "backup2024", "backup20240101"};
    for (const std::string& n : names) {
        TempDir::WriteFileAt(m.Path() + n, "mine");
        tmp.WriteFile("home/" + n, "mine");
    }
    WriteSettings(tmp, "  <DiskShredFileName>backup</DiskShredFileName>\r\n");
    {
        Program p(tmp.Sub("config"), {}, tmp.Sub("home"));
        EXPECT_EQ(p.Finish().exitCode, 3);
    }
    WriteSettings(tmp, "  <Iterations>1</Iterations>\r\n");
    {
        Program p(tmp.Sub("config"), {"-drives", m.Path()}, tmp.Sub("home"));
        Outcome o = p.Finish();
        EXPECT_EQ(o.exitCode, 0) << o.out;
    }
    for (const std::string& n : names) {
        EXPECT_EQ(ReadWholeFile(m.Path() + n), "mine") << n;
        EXPECT_EQ(ReadWholeFile(tmp.Sub("home/" + n)), "mine") << n;
    }
}

#endif  // KELVANE_EXE
