// kelvane-helper: the few things a user's run cannot do itself, started through
// pkexec for one operation ("fill-reserve" or "clear-journal", its only
// argument). It talks to the run over the socket that is its standard input and
// works only on descriptors the run sends; it takes no path and runs nothing.
#include <sys/resource.h>
#include <syslog.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper/HelperProtocol.h"
#include "helper/HelperServer.h"

namespace {

constexpr int kIdleMs = 30000;

int Refuse(const std::string& why) {
    syslog(LOG_WARNING, "refused: %s", why.c_str());
    std::fprintf(stderr, "kelvane-helper: %s\n", why.c_str());
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    // The caller's limits came with us: a file size limit must not kill a fill
    // half-way, nor a closed socket end the process before it logs.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    openlog("kelvane-helper", LOG_PID, LOG_AUTHPRIV);
    helper::Operation op{};
    if (argc != 2 || !helper::OperationFromWord(argv[1], op)) {
        std::fprintf(stderr,
                     "usage: kelvane-helper fill-reserve|clear-journal\n"
                     "Started by Kelvane through pkexec; it talks over its standard input.\n");
        return 2;
    }
    if (::geteuid() != 0) return Refuse("not started as root (through pkexec)");
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    // Nothing the caller left open reaches the work but the socket.
    ::close_range(3, ~0U, 0);

    const helper::CallerId caller = helper::IdentifyCaller(STDIN_FILENO, std::getenv("PKEXEC_UID"));
    if (!caller.ok) return Refuse(caller.why);
    std::string why;
    if (!helper::DropPrivileges(caller, op, why)) return Refuse(why);
    syslog(LOG_INFO, "started for uid %u (pid %d): %s", static_cast<unsigned>(caller.uid),
           static_cast<int>(caller.pid), argv[1]);
    helper::Serve(STDIN_FILENO, op, caller.uid, kIdleMs,
                  [](const std::string& line) { syslog(LOG_NOTICE, "%s", line.c_str()); });
    closelog();
    return 0;
}
