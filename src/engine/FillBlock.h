#pragma once
// The block the free-space filler writes over and over: one buffer per run,
// aligned for direct device writes, filled anew for each drive.
//
// However large the block size setting, at most kMaxHeld bytes are kept in
// memory: byte k of a block is Data()[k % Period()], so a large block is
// written as the same bytes in several pieces.
#include <cstddef>
#include <cstdint>
#include <string>

class FillBlock {
  public:
    // Block of `size` bytes. Data() is null when the memory could not be had; a
    // run then fills nothing.
    explicit FillBlock(size_t size);
    ~FillBlock();
    FillBlock(const FillBlock&) = delete;
    FillBlock& operator=(const FillBlock&) = delete;

    bool Ok() const { return data_ != nullptr; }
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }      // the block size
    size_t Held() const { return held_; }      // bytes in memory, at most kMaxHeld
    size_t Period() const { return period_; }  // Data()[k % Period()] is byte k

    // Random: each byte is the calling thread's next random number modulo 255
    // (so never 255); the generator is then advanced past the bytes of the block
    // not held, as if all had been drawn. Otherwise the shred value: the path of
    // a pattern file, repeated from its first byte, or else its fixed byte
    // (ShredValueByte). An empty shred value gives zeros.
    void Build(bool random, const std::u16string& shredValue);

    // Alignment that direct (uncached) writes need from buffer, length and offset.
    static constexpr size_t kDirectAlign = 4096;
    static constexpr size_t kMaxHeld = 16 * 1024 * 1024;

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t held_ = 0;
    size_t period_ = 0;
};
