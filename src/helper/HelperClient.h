#pragma once
// The run's side of kelvane-helper: starting it through pkexec with one end of
// a socket pair as its standard input, sending requests with descriptors, and
// turning what comes back (or does not) into plain answers.
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "engine/ReserveFiller.h"
#include "helper/HelperProtocol.h"

namespace helper {

struct Launch {
    int sock = -1;    // the run's end of the socket; -1 when nothing was started
    pid_t pid = -1;   // the process to wait for (pkexec, then the helper)
    std::string why;  // when nothing was started
};

// Starts the helper for `op`. The default runs pkexec on the installed helper;
// tests put in a launcher of their own (ScopedHelperLauncher).
using Launcher = std::function<Launch(Operation op)>;
Launcher& HelperLauncher();
Launch LaunchThroughPkexec(Operation op);

// Where the installed helper and pkexec are.
const char* HelperProgramPath();
const char* PkexecPath();

class ScopedHelperLauncher {
  public:
    explicit ScopedHelperLauncher(Launcher l) : saved_(HelperLauncher()) {
        HelperLauncher() = std::move(l);
    }
    ~ScopedHelperLauncher() { HelperLauncher() = saved_; }
    ScopedHelperLauncher(const ScopedHelperLauncher&) = delete;
    ScopedHelperLauncher& operator=(const ScopedHelperLauncher&) = delete;

  private:
    Launcher saved_;
};

struct Answer {
    bool answered = false;  // a reply came
    Reply reply;
    std::string why;  // when no reply came: the helper is missing, refused, gone
};

// One helper process for one operation, started at the first request (so the
// password is asked once a run) and ended when this goes.
class HelperSession {
  public:
    explicit HelperSession(Operation op) : op_(op) {}
    ~HelperSession();
    HelperSession(const HelperSession&) = delete;
    HelperSession& operator=(const HelperSession&) = delete;

    // Sends `request` with `fds` and waits for the reply; while it waits a set
    // `stop` is passed on to the helper.
    Answer Ask(const Request& request, const int* fds, int fdCount, const std::atomic<bool>* stop);

  private:
    void End();
    std::string Ended();

    Operation op_;
    Launch launch_;
    bool tried_ = false;
    std::string failed_;  // once the helper could not be had, every request gets this
};

// Plain words for an answer that is not Done: "refused: the file has other
// names", "not authorised", "kelvane-helper is not installed" ...
std::string AnswerText(const Answer& a);

// The reserve filled by kelvane-helper, one helper for the whole run.
class HelperReserveFiller final : public ReserveFiller {
  public:
    HelperReserveFiller() : session_(Operation::FillReserve) {}
    ReserveFillAnswer Fill(int dirFd, int fileFd, int passes, bool random, uint8_t value,
                           const std::atomic<bool>& stop) override;
    int Trim(int dirFd) override;

  private:
    HelperSession session_;
};

// Checkpoints and zeroes the journal of the ext4 file system of `dirFd`
// through the helper: true when it was done; else `why` says what happened.
bool ClearJournalThroughHelper(HelperSession& session, int dirFd, std::string& why);

}  // namespace helper
