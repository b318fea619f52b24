#pragma once
// One temporary file of the free-space filler. A pass that another pass will
// rewrite bypasses the page cache where the file system allows it, or is synced
// where it does not, so that it reaches the device before it is overwritten.
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FillBlock;

class FillFile {
  public:
    FillFile() = default;
    ~FillFile() { Close(); }
    FillFile(const FillFile&) = delete;
    FillFile& operator=(const FillFile&) = delete;

    // Creates `name` as a new file in the open folder `dirFd`. Whatever is
    // already there (an earlier file, somebody's file, a link, a FIFO) is left
    // alone: the open fails with EEXIST. Returns 0 or the errno. Without
    // `allowDirect` every write goes through the cache.
    int Create(int dirFd, const std::string& name, bool allowDirect = true);
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Writes `length` bytes from `offset`: byte o of the file is byte o % Size()
    // of the block, so each block-sized chunk starts the block again. Writes go
    // to the device directly while buffer, lengths and offset are aligned; the
    // unaligned rest goes through the cache and is synced. With `syncAfter` all
    // is on the device when it returns (another pass over it follows).
    // `done` gets the bytes written, also when it fails. Returns 0 or the errno
    // (ENOSPC when the file system is full).
    int WriteSpan(const FillBlock& block, uint64_t offset, uint64_t length, bool syncAfter,
                  uint64_t& done);

    // Syncs what was written and closes the file: 0, or the errno of the sync
    // (a device that failed after taking the writes into the cache).
    int Close();

  private:
    int WriteAll(std::vector<iovec>& iov, uint64_t offset, uint64_t& done);
    bool SetDirect(bool on);

    int fd_ = -1;
    bool direct_ = false;     // the descriptor has O_DIRECT set now
    bool canDirect_ = false;  // the file system took O_DIRECT
    bool dirty_ = false;      // cached bytes not yet synced
};
