#include "helper/HelperServer.h"

#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "helper/HelperOps.h"

namespace helper {

namespace {

bool ParseUid(const char* text, uid_t& uid) {
    if (!text || !*text) return false;
    unsigned long long v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || v > 0xFFFFFFFFull) return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
    }
    if (v >= 0xFFFFFFFFull) return false;
    uid = static_cast<uid_t>(v);
    return true;
}

std::string Describe(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return "?";
    return "dev " + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) +
           " ino " + std::to_string(st.st_ino);
}

const char* VerdictWord(Verdict v) {
    switch (v) {
        case Verdict::Done:
            return "done";
        case Verdict::Refused:
            return "refused";
        case Verdict::Failed:
            return "failed";
        case Verdict::Stopped:
            return "stopped";
    }
    return "?";
}

// Between two writes of a fill: has the caller asked to stop or gone away? A
// request other than Stop during a fill is taken as a stop too.
bool StopAsked(int sock) {
    pollfd p{sock, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
    Request r;
    std::vector<int> fds;
    const long n = ReceiveMessage(sock, &r, sizeof r, fds);
    CloseAll(fds);
    (void)n;
    return true;
}

void Answer(int sock, Operation op, const OpResult& o) {
    Reply reply;
    reply.operation = static_cast<uint32_t>(op);
    reply.verdict = static_cast<uint32_t>(o.verdict);
    reply.refusal = static_cast<uint32_t>(o.refusal);
    reply.error = o.error;
    reply.flags = o.flags;
    reply.bytes = o.bytes;
    reply.freeLeft = o.freeLeft;
    (void)SendMessage(sock, &reply, sizeof reply, nullptr, 0);
}

}  // namespace

CallerId IdentifyCaller(int sock, const char* pkexecUid) {
    CallerId c;
    int type = 0;
    socklen_t len = sizeof type;
    sockaddr_storage addr{};
    socklen_t alen = sizeof addr;
    if (::getsockopt(sock, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_SEQPACKET ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &alen) != 0 ||
        addr.ss_family != AF_UNIX) {
        c.why = "standard input is no Unix SOCK_SEQPACKET socket";
        return c;
    }
    ucred cred{};
    len = sizeof cred;
    if (::getsockopt(sock, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.pid <= 0) {
        c.why = "the caller's identity is unknown";
        return c;
    }
    if (pkexecUid) {
        uid_t uid = 0;
        if (!ParseUid(pkexecUid, uid) || uid != cred.uid) {
            c.why = "PKEXEC_UID and the socket's peer are not the same user";
            return c;
        }
    }
    c.ok = true;
    c.uid = cred.uid;
    c.gid = cred.gid;
    c.pid = cred.pid;
    return c;
}

bool DropPrivileges(const CallerId& caller, Operation op, std::string& why) {
    auto fail = [&why](const char* step) {
        why = std::string(step) + ": " + std::strerror(errno);
        return false;
    };
    // ext4 gives its reserve to the uid it names (root unless tune2fs said
    // otherwise) or to CAP_SYS_RESOURCE, which some containers withhold: the
    // fill stays uid 0 with that one capability where there is one. The
    // journal needs CAP_SYS_ADMIN, which works under the caller's uid.
    const bool stayRoot = op == Operation::FillReserve;
    // FITRIM wants CAP_SYS_ADMIN too: the fill session trims what it filled.
    const int caps[2] = {stayRoot ? CAP_SYS_RESOURCE : CAP_SYS_ADMIN, CAP_SYS_ADMIN};
    if (::prctl(PR_CAPBSET_READ, CAP_SYS_ADMIN, 0, 0, 0) != 1) {
        errno = EPERM;
        return fail("CAP_SYS_ADMIN");
    }
    if (::setgroups(0, nullptr) != 0) return fail("setgroups");
    if (!stayRoot) {
        if (::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0) return fail("keep capabilities");
        if (::setresgid(caller.gid, caller.gid, caller.gid) != 0) return fail("setresgid");
        if (::setresuid(caller.uid, caller.uid, caller.uid) != 0) return fail("setresuid");
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    for (int cap : caps) {
        if (::prctl(PR_CAPBSET_READ, cap, 0, 0, 0) != 1) continue;
        data[cap / 32].effective |= 1u << (cap % 32);
        data[cap / 32].permitted |= 1u << (cap % 32);
    }
    if (::syscall(SYS_capset, &header, data) != 0) return fail("capset");
    if (!stayRoot && ::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) != 0) return fail("keep capabilities");
    // The caller's own processes may share our uid: they must not attach to
    // us or read our memory, and nothing we might run gains anything.
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) return fail("dumpable");
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return fail("no new privileges");
    return true;
}

void Serve(int sock, Operation op, uid_t caller, int idleMs,
           const std::function<void(const std::string&)>& log) {
    const std::string who = "uid " + std::to_string(caller) + " " + OperationWord(op) + ": ";
    std::vector<dev_t> filled;  // file systems whose reserve this session filled
    for (;;) {
        pollfd p{sock, POLLIN, 0};
        const int ready = ::poll(&p, 1, idleMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            log(who + "idle, ending");
            return;
        }
        if (ready < 0) return;
        Request r;
        std::vector<int> fds;
        const long n = ReceiveMessage(sock, &r, sizeof r, fds);
        if (n == 0 || (n < 0 && n != -EBADMSG)) {
            CloseAll(fds);
            log(who + "caller gone, ending");
            return;
        }
        OpResult result;
        const bool trim = op == Operation::FillReserve &&
                          r.operation == static_cast<uint32_t>(Operation::TrimFilled);
        const size_t want = op == Operation::FillReserve && !trim ? 2 : 1;
        if (n < 0 || r.magic != kMagic || r.version != kVersion) {
            result.refusal = Refusal::BadMessage;
        } else if (r.operation == static_cast<uint32_t>(Operation::Stop) && fds.empty()) {
            CloseAll(fds);
            continue;  // nothing under way to stop
        } else if (r.operation != static_cast<uint32_t>(op) && !trim) {
            result.refusal = Refusal::WrongOperation;
        } else if (fds.size() != want) {
            result.refusal = Refusal::BadMessage;
        } else if (trim) {
            result = TrimFilled(fds[0], filled);
        } else if (op == Operation::FillReserve) {
            FillRequest request;
            request.passes = r.passes;
            request.random = r.random != 0;
            request.value = r.value;
            result =
                FillReserve(caller, fds[0], fds[1], request, [sock] { return StopAsked(sock); });
            struct stat st {};
            if (result.verdict == Verdict::Done && ::fstat(fds[1], &st) == 0)
                filled.push_back(st.st_dev);
        } else {
            result = ClearJournal(caller, fds[0]);
        }
        std::string line = who + (trim ? "trim " : "") + VerdictWord(result.verdict);
        if (result.verdict == Verdict::Refused)
            line += std::string(" (") + RefusalText(result.refusal) + ")";
        if (result.error != 0) line += std::string(" (") + std::strerror(result.error) + ")";
        if (!fds.empty()) line += ", " + Describe(fds.back());
        if (op == Operation::FillReserve && !trim && result.verdict != Verdict::Refused)
            line += ", " + std::to_string(result.bytes) + " bytes written";
        log(line);
        CloseAll(fds);
        Answer(sock, op, result);
    }
}

}  // namespace helper
