#pragma once
// What the user's run and kelvane-helper say to each other over the socket the
// run hands the helper as its standard input: fixed-size messages of a
// SOCK_SEQPACKET pair, descriptors beside them (SCM_RIGHTS). No message carries
// a path, a command or a length the helper would trust.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace helper {

inline constexpr uint32_t kMagic = 0x4b4c5648;  // "KLVH"
inline constexpr uint32_t kVersion = 1;

// One operation per polkit action; the helper is started for one of them and
// serves only that one.
enum class Operation : uint32_t {
    FillReserve = 1,   // takes a folder and an empty filler file of the caller
    ClearJournal = 2,  // takes a folder of the caller on an ext4 file system
    Stop = 3,          // ends a fill under way (no descriptors)
    // In a FillReserve session only: TRIM of a file system whose reserve this
    // session filled, once the run has deleted its files (a folder on it).
    TrimFilled = 4,
};

// The word on the helper's command line (its only argument), or null.
const char* OperationWord(Operation op);
bool OperationFromWord(const char* word, Operation& op);

struct Request {
    uint32_t magic = kMagic;
    uint32_t version = kVersion;
    uint32_t operation = 0;
    uint32_t passes = 1;  // FillReserve: passes over the reserve, 1 to kMaxPasses
    uint8_t random = 1;   // FillReserve: random data, else `value` in every byte
    uint8_t value = 0;
    uint8_t pad[6] = {};
};

inline constexpr uint32_t kMaxPasses = 300;

enum class Verdict : uint32_t {
    Done = 0,
    Refused = 1,  // a check failed: nothing was written or asked of the kernel
    Failed = 2,   // the checks passed, the work did not (error says why)
    Stopped = 3,  // the caller asked to stop, or went away
};

// Why a request was refused; each names one check.
enum class Refusal : uint32_t {
    None = 0,
    BadMessage,       // wrong size, magic, version, or descriptors missing or extra
    WrongOperation,   // not the operation this helper was started for
    NotAFolder,       // the folder descriptor is no folder
    NotARegularFile,  // a link, FIFO, socket, device or folder in place of the file
    NotOwned,         // the file (or, for the journal, the folder) is not the caller's
    OtherLinks,       // the file has other names
    OtherDevice,      // the file is not on the folder's file system
    NotWritable,      // the descriptor was not opened for writing (or is O_PATH)
    NotEmpty,         // the filler file already holds data
    NotExt4,          // not an ext2/3/4 file system
    NotSupported,     // the kernel lacks the call
    NotFilled,        // TRIM asked for a file system this session did not fill
};

const char* RefusalText(Refusal r);

struct Reply {
    uint32_t magic = kMagic;
    uint32_t operation = 0;
    uint32_t verdict = 0;
    uint32_t refusal = 0;
    int32_t error = 0;      // errno of a failure
    uint32_t flags = 0;     // ClearJournal: kJournalZeroed when the journal was zeroed
    uint64_t bytes = 0;     // FillReserve: bytes written into the file
    uint64_t freeLeft = 0;  // FillReserve: bytes the file system still counted free
};

inline constexpr uint32_t kJournalZeroed = 1;

// Sends one message with up to 2 descriptors: true when all of it went.
bool SendMessage(int sock, const void* data, size_t size, const int* fds, int fdCount);

// Receives one message of exactly `size` bytes into `data`. Descriptors that
// came with it (close-on-exec) go to `fds`; a message of another size, or one
// whose descriptors did not all fit, is returned as -EBADMSG with every
// descriptor closed. Returns the size, 0 when the peer hung up, or -errno.
long ReceiveMessage(int sock, void* data, size_t size, std::vector<int>& fds);

void CloseAll(std::vector<int>& fds);

}  // namespace helper
