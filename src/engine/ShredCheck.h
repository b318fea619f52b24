#pragma once
// The check after the last pass: the file's data is read back from the device
// (not from the page cache) and compared with what the pass wrote, and the
// file's extent map is compared with the one it had before the passes. Extents
// that moved mean the overwrite landed elsewhere and the old blocks were not
// reached.
#include <cstdint>
#include <functional>

#include "platform/StorageFacts.h"

class ShredBlock;

class ShredCheck {
  public:
    // The extents read before the first pass.
    const storage::ExtentMap& BeforeExtents() const { return before_; }
    enum class Failure { kNone, kReadBack, kMismatch, kExtentsMoved };
    // What a passed check could not vouch for: data kept in the metadata (inline,
    // tail-packed), compressed or otherwise encoded on the device, or extents
    // whose place the file system does not say. Reading back through the file
    // system then proves nothing about the old bytes.
    enum class Limit { kNone, kInline, kCompressed, kUnknownExtents };

    // Before the first pass, on any open descriptor of the file.
    void Before(int fd);
    // After the last pass has been synced, on the descriptor it wrote through: the
    // file's first `length` bytes should repeat `block` from its start every
    // BlockSize() bytes. False (and failure() set) when the check fails.
    bool After(int fd, const ShredBlock& block, int64_t length);

    Failure failure() const { return failure_; }
    // True once After() has found everything as written.
    bool passed() const { return passed_; }
    // Why a passed check is no proof (kNone: it is).
    Limit limit() const { return limit_; }
    // The first byte that differed (kMismatch).
    int64_t offset() const { return offset_; }
    // True when the data was read with O_DIRECT rather than after dropping the cache.
    bool direct() const { return direct_; }

    // Tests: runs between the last pass and the read-back, with the descriptor the
    // pass wrote through (for instance to spoil a byte on the device).
    static void SetAfterLastPassHook(std::function<void(int fd)> hook);

  private:
    bool ReadBack(int fd, const ShredBlock& block, int64_t length);

    storage::ExtentMap before_;
    Failure failure_ = Failure::kNone;
    int64_t offset_ = -1;
    bool direct_ = false;
    bool passed_ = false;
    Limit limit_ = Limit::kNone;
};
