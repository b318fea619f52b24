// kelvane-cli run as root in folders others can write to, and with mistyped
// paths: ".", "..", another user's log file, FIFOs where files are expected,
// and a folder given to free-space.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <sstream>
#include <thread>

#include "CliProcess.h"
#include "support/TempDir.h"
#include "support/TestMount.h"

namespace {

constexpr uid_t kNobody = 65534;

// The working folder of the programs started, for as long as it lives.
class InFolder {
  public:
    explicit InFolder(const std::string& path) {
        char buf[PATH_MAX];
        saved_ = ::getcwd(buf, sizeof buf) ? buf : "/";
        EXPECT_EQ(::chdir(path.c_str()), 0) << path;
    }
    ~InFolder() { (void)::chdir(saved_.c_str()); }

  private:
    std::string saved_;
};

size_t LineCount(const std::string& text) {
    size_t n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += line.empty() ? 0 : 1;
    return n;
}

class CliSafety : public ::testing::Test {
  protected:
    std::string Config() const { return tmp.Sub("config"); }
    // The result, and how long the program took.
    CliResult Run(const std::vector<std::string>& args, double* seconds = nullptr,
                  const std::string& input = "/dev/null") const {
        const auto start = std::chrono::steady_clock::now();
        CliResult r = RunCli(Config(), args, input);
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return r;
    }
    TempDir tmp;
};

}  // namespace

TEST_F(CliSafety, DotAndDotDotAreRefusedWithOneLineAndNothingIsTouched) {
    tmp.WriteFile("x/y/secret", "s");
    tmp.WriteFile("x/keep", "k");
    tmp.WriteFile("list", ".\n");
    InFolder in(tmp.Sub("x/y"));
    const std::vector<std::vector<std::string>> cases = {
        {"shred", "-y", "."},
        {"shred", "-y", ".."},
        {"shred", "-y", "./"},
        {"shred", "-y", "../"},
        {"shred", "-y", "secret", ".."},
        {"shred", "-y", tmp.Sub("x/y/..")},
        {"shred", "-y", tmp.Sub("x/.")},
        {"shred", "-y", "../y/../."},
        {"shred", "-y", "--files-from", tmp.Sub("list")},
        {"check", ".."},
    };
    for (const auto& args : cases) {
        const CliResult r = Run(args);
        const std::string shown = args.back();
        EXPECT_EQ(r.exitCode, 4) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find("refusing to shred"), std::string::npos) << shown << r.err;
        EXPECT_NE(r.err.find("name the folder itself"), std::string::npos) << r.err;
        EXPECT_EQ(LineCount(r.err), 2u) << r.err;  // the message and the hint to --help
        EXPECT_EQ(r.out, "") << shown;
    }
    EXPECT_TRUE(PathExists(tmp.Sub("x/y/secret")));
    EXPECT_TRUE(PathExists(tmp.Sub("x/keep")));
    // A name that merely begins with dots is a name like any other.
    tmp.WriteFile("x/y/..old", "o");
    EXPECT_EQ(Run({"shred", "-y", "-n", "1", "..old"}).exitCode, 0);
    EXPECT_FALSE(PathExists(tmp.Sub("x/y/..old")));
}

TEST_F(CliSafety, LogIsAppendedOnlyToTheUsersOwnPrivateFile) {
    tmp.MakeDir("pub");
    ASSERT_EQ(::chmod(tmp.Sub("pub").c_str(), 0777), 0);
    tmp.WriteFile("victim", "secret");

    // A FIFO that nobody reads: refused at once, the run never starts.
    ASSERT_EQ(::mkfifo(tmp.Sub("pub/fifo.log").c_str(), 0666), 0);
    double seconds = 0;
    CliResult r =
        Run({"shred", "-y", "--log", tmp.Sub("pub/fifo.log"), tmp.Sub("victim")}, &seconds);
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_LT(seconds, 1.0);
    EXPECT_NE(r.err.find("a FIFO, not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(PathExists(tmp.Sub("victim")));

    // A log of our own that others may write to is not ours alone any more.
    tmp.WriteFile("pub/open.log", "");
    ASSERT_EQ(::chmod(tmp.Sub("pub/open.log").c_str(), 0666), 0);
    r = Run({"shred", "-y", "--log", tmp.Sub("pub/open.log"), tmp.Sub("victim")});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("others may write to it"), std::string::npos) << r.err;

    // A new log is made private, and appended to on the next run.
    r = Run({"shred", "-y", "-n", "1", "--log", tmp.Sub("pub/mine.log"), tmp.Sub("victim")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat(tmp.Sub("pub/mine.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(ReadWholeFile(tmp.Sub("pub/mine.log")).find("victim"), std::string::npos);

    if (::geteuid() != 0) GTEST_SKIP() << "another user's log file needs root to make";
    // Another user made the log's name beforehand, open to all: as root the run
    // must not write the names it shreds into their file.
    tmp.WriteFile("victim", "secret");
    tmp.WriteFile("pub/shred.log", "theirs\n");
    ASSERT_EQ(::chmod(tmp.Sub("pub/shred.log").c_str(), 0666), 0);
    ASSERT_EQ(::chown(tmp.Sub("pub/shred.log").c_str(), kNobody, kNobody), 0);
    r = Run({"shred", "-y", "--log", tmp.Sub("pub/shred.log"), tmp.Sub("victim")});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("belongs to another user"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(tmp.Sub("pub/shred.log")), "theirs\n");
    EXPECT_TRUE(PathExists(tmp.Sub("victim")));
}

TEST_F(CliSafety, FifoWhereAFileIsReadOrWrittenIsAnErrorWithinASecond) {
    ASSERT_EQ(::mkfifo(tmp.Sub("fifo").c_str(), 0600), 0);
    tmp.WriteFile("f", "secret");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{"shred", "-y", "--report", tmp.Sub("fifo"), tmp.Sub("f")}, 4, "FIFO"},
        {{"shred", "-y", "--pattern", tmp.Sub("fifo"), tmp.Sub("f")}, 4, "FIFO"},
        {{"shred", "-y", "--pattern", "/dev/zero", tmp.Sub("f")}, 4, "device"},
        {{"shred", "-y", "--files-from", "/dev/zero"}, 4, "device"},
        {{"verify-report", tmp.Sub("fifo")}, 2, "FIFO"},
    };
    for (const Case& c : cases) {
        double seconds = 0;
        const CliResult r = Run(c.args, &seconds);
        EXPECT_EQ(r.exitCode, c.status) << c.args[c.args.size() - 2] << "\n" << r.out << r.err;
        EXPECT_LT(seconds, 1.0) << c.args[2];
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
    }
    EXPECT_EQ(ReadWholeFile(tmp.Sub("f")), "secret");

    // A list of paths may come through a pipe, as "<(find ...)" makes one.
    std::thread writer([&] {
        const int fd = ::open(tmp.Sub("fifo").c_str(), O_WRONLY);
        const std::string list = tmp.Sub("f") + "\n";
        if (fd >= 0) {
            (void)::write(fd, list.data(), list.size());
            ::close(fd);
        }
    });
    const CliResult r = Run({"shred", "-y", "-n", "1", "--files-from", tmp.Sub("fifo")});
    writer.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(PathExists(tmp.Sub("f")));
}

TEST_F(CliSafety, FreeSpaceOfAFolderNamesItsDriveAndAsksFirst) {
    TestMount mount(TestMount::Kind::Tmpfs, 8 * 1024);
    if (!mount.Ok()) GTEST_SKIP() << mount.Error();
    ASSERT_EQ(::mkdir((mount.Path() + "sub").c_str(), 0755), 0);
    // Without -y there is a question, and without a terminal nobody to ask it.
    CliResult r = Run({"free-space", "-n", "1", mount.Path() + "sub"});
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    r = Run({"free-space", "-y", "-n", "1", mount.Path() + "sub"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::string mountPoint = mount.Path();
    // Talk, not data: the line naming the drive goes to standard error.
    const size_t named = r.err.find(mount.Path() + "sub/ is a folder on ");
    ASSERT_NE(named, std::string::npos) << r.err;
    const std::string line = r.err.substr(named, r.err.find('\n', named) - named);
    EXPECT_NE(line.find("mounted at " + mountPoint + " ("), std::string::npos) << line;
    EXPECT_NE(line.find(" free): the free space of that whole drive is filled"), std::string::npos)
        << line;
    EXPECT_NE(r.out.find(mount.Path() + "sub/ [done]"), std::string::npos) << r.out;
    // A mount point needs no such line.
    r = Run({"free-space", "-y", "-n", "1", mount.Path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("is a folder on"), std::string::npos) << r.out;
}
