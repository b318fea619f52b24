#pragma once
// The operations of kelvane-helper, on descriptors its caller handed over. Each
// checks everything it relies on itself (the socket, polkit and pkexec are not
// trusted to have done so), and a request that fails a check changes nothing.
// Called directly by tests with crafted descriptors.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "helper/HelperProtocol.h"

namespace helper {

struct OpResult {
    Verdict verdict = Verdict::Refused;
    Refusal refusal = Refusal::None;
    int error = 0;
    uint64_t bytes = 0;
    uint64_t freeLeft = 0;
    uint32_t flags = 0;
};

struct FillRequest {
    uint32_t passes = 1;
    bool random = true;
    uint8_t value = 0;
};

// The filler a run made for the reserve: `fileFd` a regular, empty file of
// `caller`, open for writing, with no other name, on the ext2/3/4 file system
// of the folder `folderFd`.
Refusal CheckReserveTarget(uid_t caller, int folderFd, int fileFd);

// Checks, then writes into the file until the file system has no block left
// (the reserve included, where this process may take it), `request.passes` times,
// each pass synced. `stopAsked` is asked between writes.
OpResult FillReserve(uid_t caller, int folderFd, int fileFd, const FillRequest& request,
                     const std::function<bool()>& stopAsked);

// A folder of `caller` on an ext2/3/4 file system.
Refusal CheckJournalTarget(uid_t caller, int folderFd);

// Checks, then has the kernel write the journal's transactions to their
// places and zero the journal (checkpoint only where zeroing is refused).
OpResult ClearJournal(uid_t caller, int folderFd);

// TRIM of the file system of the folder `folderFd`, only where `filled` (the
// devices whose reserve this session filled) holds its device: the blocks
// just freed by the run's deletes, which a device may then really erase.
OpResult TrimFilled(int folderFd, const std::vector<dev_t>& filled);

// The kernel call of ClearJournal, replaceable by tests: 0 or the errno.
using CheckpointCall = std::function<int(int fd, uint32_t flags)>;
CheckpointCall& Checkpoint();

inline constexpr uint32_t kCheckpointDiscard = 0x1;
inline constexpr uint32_t kCheckpointZeroOut = 0x2;

}  // namespace helper
