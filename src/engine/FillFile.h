#pragma once
// One temporary file of the free-space filler. A pass that another pass will
// rewrite bypasses the page cache where the file system allows it, or is synced
// where it does not, so that it reaches the device before it is overwritten.
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FillFile {
  public:
    FillFile() = default;
    ~FillFile() { Close(); }
    FillFile(const FillFile&) = delete;
    FillFile& operator=(const FillFile&) = delete;

    // Creates `path`, or truncates the regular file found there. Never follows a
    // link and never opens a FIFO, device or folder planted at that name.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }

    // Writes `count` copies of the first `blockLength` bytes of `block`, then its
    // first `tailLength` bytes, one after the other from `offset`, in as few calls
    // as the system allows. With `syncAfter` they are on the device when it
    // returns (another pass over them follows). Returns 0 or the errno of the
    // failure (ENOSPC when the file system is full).
    int WriteRepeated(const uint8_t* block, size_t blockLength, size_t count, size_t tailLength,
                      uint64_t offset, bool syncAfter);

    // Syncs what was written and closes the file.
    void Close();

  private:
    int WriteAll(std::vector<iovec>& iov, uint64_t offset);
    bool SetDirect(bool on);

    int fd_ = -1;
    bool direct_ = false;     // the descriptor has O_DIRECT set now
    bool canDirect_ = false;  // the file system took O_DIRECT
    bool dirty_ = false;      // cached bytes not yet synced
};
