// The helper's session: who the caller is, what arrives on the socket, and the
// program's command line, which takes an operation word and nothing else.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "helper/HelperClient.h"
#include "helper/HelperServer.h"
#include "support/TempDir.h"

using helper::Operation;
using helper::Refusal;
using helper::Reply;
using helper::Request;
using helper::Verdict;

namespace {

struct Pair {
    int fd[2] = {-1, -1};
    explicit Pair(int type = SOCK_SEQPACKET) { ::socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, fd); }
    ~Pair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
};

// A request sent raw, and the reply that comes back.
Reply Ask(int sock, const void* data, size_t size, std::vector<int> fds) {
    EXPECT_TRUE(helper::SendMessage(sock, data, size, fds.data(), static_cast<int>(fds.size())));
    Reply reply;
    std::vector<int> none;
    EXPECT_EQ(helper::ReceiveMessage(sock, &reply, sizeof reply, none),
              static_cast<long>(sizeof reply));
    return reply;
}

int RunHelper(const std::vector<std::string>& args, int stdinFd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(stdinFd, STDIN_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(KELVANE_HELPER_EXE)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KELVANE_HELPER_EXE, argv.data());
        ::_exit(99);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(HelperSession, CallerIsThePeerOfTheSocketAndPkexecMustAgree) {
    Pair pair;
    helper::CallerId c = helper::IdentifyCaller(pair.fd[1], nullptr);
    ASSERT_TRUE(c.ok) << c.why;
    EXPECT_EQ(c.uid, ::getuid());
    EXPECT_EQ(c.pid, ::getpid());
    const std::string me = std::to_string(::getuid());
    EXPECT_TRUE(helper::IdentifyCaller(pair.fd[1], me.c_str()).ok);
    for (const char* forged : {"4242", "", "0x0", "-1", "12a", "99999999999999999999"}) {
        if (me == forged) continue;
        SCOPED_TRACE(forged);
        EXPECT_FALSE(helper::IdentifyCaller(pair.fd[1], forged).ok);
    }
    Pair stream(SOCK_STREAM);
    EXPECT_FALSE(helper::IdentifyCaller(stream.fd[1], nullptr).ok);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_FALSE(helper::IdentifyCaller(pipeFds[0], nullptr).ok);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(HelperSession, MalformedAndForeignRequestsAreRefusedAndTheSessionEndsWithItsCaller) {
    Pair pair;
    TempDir t;
    const int folder = ::open(t.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::vector<std::string> log;
    std::thread server([&] {
        helper::Serve(pair.fd[1], Operation::FillReserve, ::getuid(), 5000,
                      [&log](const std::string& line) { log.push_back(line); });
    });
    const int sock = pair.fd[0];

    Request wrongMagic;
    wrongMagic.magic = 1;
    wrongMagic.operation = static_cast<uint32_t>(Operation::FillReserve);
    Reply r = Ask(sock, &wrongMagic, sizeof wrongMagic, {folder, folder});
    EXPECT_EQ(r.verdict, static_cast<uint32_t>(Verdict::Refused));
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::BadMessage));

    Request journal;
    journal.operation = static_cast<uint32_t>(Operation::ClearJournal);
    r = Ask(sock, &journal, sizeof journal, {folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::WrongOperation));

    Request fill;
    fill.operation = static_cast<uint32_t>(Operation::FillReserve);
    r = Ask(sock, &fill, sizeof fill, {folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::BadMessage)) << "one descriptor of two";
    r = Ask(sock, &fill, sizeof fill - 1, {folder, folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::BadMessage)) << "a short message";
    std::string longer(sizeof fill + 8, '\0');
    std::memcpy(longer.data(), &fill, sizeof fill);
    r = Ask(sock, longer.data(), longer.size(), {folder, folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::BadMessage)) << "a long message";
    // Well formed, and the checks answer: a folder is no filler file.
    r = Ask(sock, &fill, sizeof fill, {folder, folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::NotARegularFile));
    // TRIM only of a file system this session filled, which it has not.
    Request trim;
    trim.operation = static_cast<uint32_t>(Operation::TrimFilled);
    r = Ask(sock, &trim, sizeof trim, {folder});
    EXPECT_EQ(r.refusal, static_cast<uint32_t>(Refusal::NotFilled));

    ::close(pair.fd[0]);
    pair.fd[0] = -1;
    server.join();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_NE(log.back().find("caller gone"), std::string::npos) << log.back();
    EXPECT_NE(log[1].find("refused (operation not allowed"), std::string::npos) << log[1];
    ::close(folder);
}

TEST(HelperSession, ProgramTakesOneOperationWordAndNoPath) {
    TempDir t;
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(null, 0);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"--help"},
                                               {t.Path()},
                                               {"fill-reserve", t.Path()},
                                               {"--path=" + t.Path(), "fill-reserve"},
                                               {"clear-journal", "fill-reserve"},
                                               {"stop"}}) {
        SCOPED_TRACE(args.empty() ? std::string("(none)") : args[0]);
        EXPECT_EQ(RunHelper(args, null), 2);
    }
    // The right word, but no caller's socket on standard input.
    EXPECT_EQ(RunHelper({"fill-reserve"}, null), 3);
    ::close(null);
}

TEST(HelperSession, ClientSaysWhyTheHelperGaveNoAnswer) {
    // pkexec ends with 126 when the question was dismissed, 127 when the user
    // is not authorised; a launcher that cannot start anything says why.
    for (auto [status, words] : {std::pair{126, "dismissed"}, std::pair{127, "not authorised"}}) {
        helper::ScopedHelperLauncher fake([status = status](Operation) {
            int sv[2];
            ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv);
            const pid_t pid = ::fork();
            if (pid == 0) ::_exit(status);
            ::close(sv[1]);
            return helper::Launch{sv[0], pid, ""};
        });
        helper::HelperReserveFiller filler;
        std::atomic<bool> stop{false};
        const ReserveFillAnswer a = filler.Fill(0, 0, 1, true, 0, stop);
        EXPECT_FALSE(a.reached);
        EXPECT_NE(a.why.find(words), std::string::npos) << a.why;
        // Asked again in the same run: the same answer, no second question.
        EXPECT_EQ(filler.Fill(0, 0, 1, true, 0, stop).why, a.why);
    }
    helper::ScopedHelperLauncher missing([](Operation) {
        return helper::Launch{-1, -1, "kelvane-helper is not installed"};
    });
    helper::HelperSession session(Operation::ClearJournal);
    std::string why;
    EXPECT_FALSE(helper::ClearJournalThroughHelper(session, 0, why));
    EXPECT_EQ(why, "kelvane-helper is not installed");
}
