// A user's free-space run with the helper: the test starts kelvane-helper as
// root where pkexec would, and runs the fill itself as another user, on a
// loop image made with mkfs defaults (5 % kept back for root). The image's
// bytes are read after it is unmounted, so no cache can hide a marker.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <libgen.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "helper/HelperClient.h"
#include "runs/FreeSpaceRun.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"
#include "support/FakeRunWindow.h"
#include "support/TestMount.h"

namespace {

constexpr uid_t kUser = 4242;
const std::string kMarker = "KELVANE-HELPER-MARKER-5be1d0-";

size_t CountMarkers(const std::string& image) {
    const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    // What the device holds, not what a cache of the file remembers.
    ::fsync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    const std::string raw = ReadWholeFile(image);
    size_t n = 0;
    for (size_t at = raw.find(kMarker); at != std::string::npos; at = raw.find(kMarker, at + 1))
        ++n;
    return n;
}

// Writes `path` until the file system refuses more, with the identity the
// process has: a user stops where the root reserve begins, root goes on.
bool WriteUntilFull(const std::string& path, const std::string& unit) {
    std::string content;
    while (content.size() < 1024 * 1024) content += unit;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    for (size_t len = content.size(); len >= 512;)
        if (::write(fd, content.data(), len) <= 0) len /= 2;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool BecomeUser() {
    return ::setgroups(0, nullptr) == 0 && ::setresgid(kUser, kUser, kUser) == 0 &&
           ::setresuid(kUser, kUser, kUser) == 0;
}

// The marker where only the reserve can hold it: the user's own file takes
// every block a user may have (and stays), root's marker file the blocks kept
// back for root, and the marker file is deleted.
bool LeaveDeletedMarkerInTheReserve(const std::string& root) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(BecomeUser() && WriteUntilFull(root + "users-own", std::string(4096, '\0')) ? 0
                                                                                            : 1);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    return WriteUntilFull(root + "secret.bin", kMarker) &&
           ::unlink((root + "secret.bin").c_str()) == 0;
}

enum class HelperMode { RunAsRoot, Refused, RootRun };

struct RunResult {
    std::string status;
    std::string log;
    int helpersStarted = 0;
};

// The run, in a child that has become kUser. With RunAsRoot its launcher
// passes the helper's end of a fresh socket pair (made by the user, so the
// helper sees the user as its peer) to this process, which starts the helper
// as root on it, as pkexec would. With Refused the "pkexec" ends with 127.
RunResult RunAsUser(const std::string& root, HelperMode mode) {
    RunResult result;
    int broker[2], out[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, broker) != 0 ||
        ::pipe2(out, O_CLOEXEC) != 0)
        return result;
    const pid_t runner = ::fork();
    if (runner == 0) {
        ::close(broker[1]);
        ::close(out[0]);
        if (mode != HelperMode::RootRun && !BecomeUser()) ::_exit(90);
        const int toRoot = broker[0];
        helper::ScopedHelperLauncher launcher([toRoot, mode](helper::Operation op) {
            int sv[2];
            if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
                return helper::Launch{-1, -1, "no socket"};
            if (mode == HelperMode::Refused) {
                const pid_t pkexec = ::fork();
                if (pkexec == 0) ::_exit(127);
                ::close(sv[1]);
                return helper::Launch{sv[0], pkexec, ""};
            }
            const auto word = static_cast<uint32_t>(op);
            helper::SendMessage(toRoot, &word, sizeof word, &sv[1], 1);
            ::close(sv[1]);
            return helper::Launch{sv[0], -1, ""};
        });
        FakeRunWindow window;
        window.settings.random = 1;
        window.settings.overwriteReserve = true;
        window.iterationsText = u"1";
        RunState state;
        state.drivesTable.AppendRow(root);
        WorkerThreads threads;
        if (!StartFreeSpaceRun(threads, window, state, [] { return true; })) ::_exit(91);
        threads.JoinAll();
        std::string text = Utf8FromWide(window.status) + "\n";
        for (const std::u16string& line : window.logLines) text += Utf8FromWide(line) + "\n";
        (void)!::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(broker[0]);
    ::close(out[1]);
    std::vector<pid_t> helpers;
    for (;;) {
        uint32_t word = 0;
        std::vector<int> fds;
        if (helper::ReceiveMessage(broker[1], &word, sizeof word, fds) <= 0) break;
        if (fds.size() != 1) {
            helper::CloseAll(fds);
            continue;
        }
        const pid_t h = ::fork();
        if (h == 0) {
            ::dup2(fds[0], STDIN_FILENO);
            ::unsetenv("PKEXEC_UID");
            const char* name = helper::OperationWord(static_cast<helper::Operation>(word));
            const char* argv[] = {"kelvane-helper", name ? name : "?", nullptr};
            ::execv(KELVANE_HELPER_EXE, const_cast<char* const*>(argv));
            ::_exit(98);
        }
        helper::CloseAll(fds);
        helpers.push_back(h);
    }
    ::close(broker[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        result.log.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(runner, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (pid_t h : helpers) {
        ::waitpid(h, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "helper ended " << status;
    }
    result.helpersStarted = static_cast<int>(helpers.size());
    result.status = result.log.substr(0, result.log.find('\n'));
    return result;
}

// A drive the test user may fill: its root is theirs, the folders above it
// may be passed through.
void GiveToUser(const TestMount& m) {
    ASSERT_EQ(::chown(m.Path().c_str(), kUser, kUser), 0);
    std::string above = m.Path().substr(0, m.Path().size() - 1);
    above = above.substr(0, above.rfind('/'));
    ASSERT_EQ(::chmod(above.c_str(), 0711), 0);
}

class HelperEndToEnd : public ::testing::TestWithParam<HelperMode> {};

}  // namespace

TEST_P(HelperEndToEnd, UsersRunReachesTheRootReserveOnlyWithTheHelper) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to start the helper and become a test user";
    TestMount m(TestMount::Kind::Ext4Defaults, 64 * 1024);
    KELVANE_REQUIRE_MOUNT(m);
    GiveToUser(m);
    ASSERT_TRUE(LeaveDeletedMarkerInTheReserve(m.Path()));
    m.Sync();
    const size_t before = CountMarkers(m.ImagePath());
    ASSERT_GT(before, 1000u) << "an ordinary delete leaves the data behind";

    const RunResult run = RunAsUser(m.Path(), GetParam());
    ASSERT_TRUE(m.Unmount());
    const size_t left = CountMarkers(m.ImagePath());
    if (GetParam() == HelperMode::RootRun) {
        // The reference: a run as root, no helper.
        EXPECT_EQ(run.helpersStarted, 0);
        EXPECT_EQ(left, 0u) << run.log;
    } else if (GetParam() == HelperMode::RunAsRoot) {
        EXPECT_EQ(run.helpersStarted, 1);
        EXPECT_EQ(run.status.rfind("Shredding done.", 0), 0u) << run.log;
        EXPECT_NE(run.status.find("MB kept back for root overwritten too"), std::string::npos)
            << run.log;
        EXPECT_NE(run.log.find(" bytes kept back for root overwritten too]"), std::string::npos)
            << run.log;
        EXPECT_EQ(run.log.find("out of reach"), std::string::npos) << run.log;
        // What ext4 keeps even from root stays free; the helper's TRIM is
        // what reaches it, as a root run's own does.
        EXPECT_NE(run.log.find("[TRIM done]"), std::string::npos) << run.log;
        EXPECT_EQ(left, 0u) << run.log;
    } else {
        // As today: a user has nothing left to write there, the drive fails
        // as full, the run says what it did not reach and why, and the marker
        // is all still there.
        EXPECT_EQ(run.helpersStarted, 0);
        EXPECT_EQ(run.status.rfind("Shredding partly done.", 0), 0u) << run.log;
        EXPECT_NE(run.status.find("MB kept back for root not reached"), std::string::npos)
            << run.log;
        EXPECT_NE(run.log.find("out of reach: not authorised"), std::string::npos) << run.log;
        EXPECT_NE(run.log.find("[FAILED!] drive full"), std::string::npos) << run.log;
        EXPECT_GT(left, before * 9 / 10) << run.log;
    }
}

INSTANTIATE_TEST_SUITE_P(AllowedAndRefused, HelperEndToEnd,
                         ::testing::Values(HelperMode::RunAsRoot, HelperMode::Refused,
                                           HelperMode::RootRun),
                         [](const auto& info) {
                             return info.param == HelperMode::RunAsRoot ? std::string("Allowed")
                                    : info.param == HelperMode::Refused ? std::string("Refused")
                                                                        : std::string("Root");
                         });
