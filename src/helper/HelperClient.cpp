#include "helper/HelperClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#ifndef KELVANE_HELPER_PATH
#define KELVANE_HELPER_PATH "/usr/libexec/kelvane-helper"
#endif

namespace helper {

namespace {

constexpr int kPollMs = 200;

}  // namespace

const char* HelperProgramPath() {
    return KELVANE_HELPER_PATH;
}

const char* PkexecPath() {
    return "/usr/bin/pkexec";
}

Launch LaunchThroughPkexec(Operation op) {
    Launch l;
    if (::access(HelperProgramPath(), X_OK) != 0) {
        l.why = "kelvane-helper is not installed";
        return l;
    }
    if (::access(PkexecPath(), X_OK) != 0) {
        l.why = "pkexec is not installed";
        return l;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        l.why = std::string("no socket: ") + std::strerror(errno);
        return l;
    }
    const char* word = OperationWord(op);
    const std::string program = HelperProgramPath();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The helper's end becomes its standard input; its standard output goes
        // where our errors go, never into a terminal face's JSON lines.
        ::dup2(pair[1], STDIN_FILENO);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        const char* argv[] = {"pkexec", program.c_str(), word, nullptr};
        ::execv(PkexecPath(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(pair[1]);
    if (pid < 0) {
        ::close(pair[0]);
        l.why = std::string("cannot start pkexec: ") + std::strerror(errno);
        return l;
    }
    l.sock = pair[0];
    l.pid = pid;
    return l;
}

Launcher& HelperLauncher() {
    static Launcher launcher = LaunchThroughPkexec;
    return launcher;
}

HelperSession::~HelperSession() {
    End();
}

void HelperSession::End() {
    if (launch_.sock >= 0) ::close(launch_.sock);
    launch_.sock = -1;
    if (launch_.pid <= 0) return;
    // The helper ends when its socket closes; pkexec still waiting for a
    // password is ours to end.
    // Woken by its end (a pidfd), for at most five seconds.
    int status = 0;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, launch_.pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        while (::poll(&p, 1, 5000) < 0 && errno == EINTR) {
        }
        ::close(pidfd);
    }
    if (::waitpid(launch_.pid, &status, WNOHANG) != 0) {
        launch_.pid = -1;
        return;
    }
    ::kill(launch_.pid, SIGTERM);
    ::waitpid(launch_.pid, &status, 0);
    launch_.pid = -1;
}

// Why the helper went away without answering.
std::string HelperSession::Ended() {
    ::close(launch_.sock);
    launch_.sock = -1;
    int status = 0;
    std::string why = "kelvane-helper ended without an answer";
    if (launch_.pid > 0 && ::waitpid(launch_.pid, &status, 0) == launch_.pid) {
        // pkexec's own statuses: 126 the question was dismissed, 127 not
        // authorised (or it could not run the helper).
        if (WIFEXITED(status) && WEXITSTATUS(status) == 126)
            why = "not authorised: the password question was dismissed";
        else if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
            why = "not authorised, or kelvane-helper could not be started";
        else if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
            why = "kelvane-helper refused the caller";
    }
    launch_.pid = -1;
    return why;
}

Answer HelperSession::Ask(const Request& request, const int* fds, int fdCount,
                          const std::atomic<bool>* stop) {
    Answer a;
    if (!tried_) {
        tried_ = true;
        launch_ = HelperLauncher() ? HelperLauncher()(op_) : Launch{-1, -1, "no helper"};
        if (launch_.sock < 0) failed_ = launch_.why.empty() ? "not started" : launch_.why;
    }
    if (!failed_.empty()) {
        a.why = failed_;
        return a;
    }
    if (!SendMessage(launch_.sock, &request, sizeof request, fds, fdCount)) {
        a.why = failed_ = Ended();
        return a;
    }
    bool stopSent = false;
    for (;;) {
        if (stop && stop->load() && !stopSent) {
            Request s;
            s.operation = static_cast<uint32_t>(Operation::Stop);
            (void)SendMessage(launch_.sock, &s, sizeof s, nullptr, 0);
            stopSent = true;
        }
        pollfd p{launch_.sock, POLLIN, 0};
        const int ready = ::poll(&p, 1, kPollMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        std::vector<int> extra;
        const long n =
            ready < 0 ? -errno : ReceiveMessage(launch_.sock, &a.reply, sizeof a.reply, extra);
        CloseAll(extra);
        if (n > 0 && a.reply.magic == kMagic) {
            a.answered = true;
            return a;
        }
        a.why = failed_ = Ended();
        return a;
    }
}

std::string AnswerText(const Answer& a) {
    if (!a.answered) return a.why;
    switch (static_cast<Verdict>(a.reply.verdict)) {
        case Verdict::Done:
            return "done";
        case Verdict::Refused:
            return std::string("refused: ") + RefusalText(static_cast<Refusal>(a.reply.refusal));
        case Verdict::Failed:
            return std::string("failed: ") + std::strerror(a.reply.error);
        case Verdict::Stopped:
            return "stopped";
    }
    return "unknown answer";
}

ReserveFillAnswer HelperReserveFiller::Fill(int dirFd, int fileFd, int passes, bool random,
                                            uint8_t value, const std::atomic<bool>& stop) {
    Request r;
    r.operation = static_cast<uint32_t>(Operation::FillReserve);
    r.passes = static_cast<uint32_t>(passes < 1 ? 1 : passes);
    r.random = random ? 1 : 0;
    r.value = value;
    const int fds[2] = {dirFd, fileFd};
    const Answer a = session_.Ask(r, fds, 2, &stop);
    ReserveFillAnswer out;
    if (a.answered) out.bytes = a.reply.bytes;
    out.reached = a.answered && a.reply.verdict == static_cast<uint32_t>(Verdict::Done);
    if (!out.reached) out.why = AnswerText(a);
    return out;
}

int HelperReserveFiller::Trim(int dirFd) {
    Request r;
    r.operation = static_cast<uint32_t>(Operation::TrimFilled);
    const Answer a = session_.Ask(r, &dirFd, 1, nullptr);
    if (!a.answered) return EPERM;
    if (a.reply.verdict == static_cast<uint32_t>(Verdict::Done)) return 0;
    return a.reply.error != 0 ? a.reply.error : EOPNOTSUPP;
}

bool ClearJournalThroughHelper(HelperSession& session, int dirFd, std::string& why) {
    Request r;
    r.operation = static_cast<uint32_t>(Operation::ClearJournal);
    const Answer a = session.Ask(r, &dirFd, 1, nullptr);
    const bool done = a.answered && a.reply.verdict == static_cast<uint32_t>(Verdict::Done);
    why = done ? ((a.reply.flags & kJournalZeroed) ? "journal cleared"
                                                   : "journal checkpointed, not zeroed")
               : AnswerText(a);
    return done;
}

}  // namespace helper
