#pragma once
// kelvane-helper's session: who called, dropping everything but the one
// capability the operation needs, and the loop that answers requests on the
// socket until the caller hangs up or stays idle.
#include <sys/types.h>

#include <functional>
#include <string>

#include "helper/HelperProtocol.h"

namespace helper {

struct CallerId {
    bool ok = false;
    uid_t uid = 0;
    gid_t gid = 0;
    pid_t pid = 0;
    std::string why;  // when not ok
};

// The process at the other end of `sock` (a SOCK_SEQPACKET Unix socket), as
// the kernel recorded it when the pair was made. `pkexecUid` (PKEXEC_UID, set
// by pkexec) must name the same user where it is given: a socket of somebody
// else's process handed to the helper is refused.
CallerId IdentifyCaller(int sock, const char* pkexecUid);

// Drops all supplementary groups and every capability but those the session
// needs: FillReserve stays uid 0 (ext4 gives its reserve to root's uid) with
// CAP_SYS_RESOURCE where the system grants it and CAP_SYS_ADMIN for the TRIM
// of what it filled; ClearJournal becomes the caller with CAP_SYS_ADMIN. Not
// dumpable, no new privileges. False, with the reason, when a step fails.
bool DropPrivileges(const CallerId& caller, Operation op, std::string& why);

// Answers requests for `op` on `sock` until the caller hangs up or sends
// nothing for `idleMs`. `log` gets one line per request and per ending.
void Serve(int sock, Operation op, uid_t caller, int idleMs,
           const std::function<void(const std::string&)>& log);

}  // namespace helper
