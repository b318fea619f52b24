#pragma once
// One temporary file of the free-space filler. Writes bypass the page cache where
// the file system allows it, so every pass over a chunk reaches the device before
// the next pass rewrites it; where they cannot, the pass is synced instead.
#include <cstddef>
#include <cstdint>
#include <string>

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

    // Writes `length` bytes at `offset`. With `syncAfter` the bytes are on the
    // device when it returns (another pass over them follows). Returns 0 or the
    // errno of the failure (ENOSPC when the file system is full).
    int WriteAt(const uint8_t* data, size_t length, uint64_t offset, bool syncAfter);

    // Syncs what was written and closes the file.
    void Close();

  private:
    int WriteAll(const uint8_t* data, size_t length, uint64_t offset);
    bool SetDirect(bool on);

    int fd_ = -1;
    bool direct_ = false;     // the descriptor has O_DIRECT set now
    bool canDirect_ = false;  // the file system took O_DIRECT
    bool dirty_ = false;      // cached bytes not yet synced
};
