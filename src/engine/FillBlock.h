#pragma once
// The block the free-space filler writes over and over: one buffer per run,
// aligned for direct device writes, filled anew for each drive.
#include <cstddef>
#include <cstdint>
#include <string>

class FillBlock {
  public:
    // Room for `size` bytes plus a spare one. Data() is null when the memory could
    // not be had; a run then fills nothing.
    explicit FillBlock(size_t size);
    ~FillBlock();
    FillBlock(const FillBlock&) = delete;
    FillBlock& operator=(const FillBlock&) = delete;

    bool Ok() const { return data_ != nullptr; }
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

    // Random: each byte is the calling thread's next random number modulo 255
    // (so never 255). Otherwise the shred value: the path of a pattern file,
    // repeated from its first byte, or else the low 8 bits of the value read as a
    // decimal number. An empty shred value gives zeros.
    void Build(bool random, const std::u16string& shredValue);

    // Alignment that direct (uncached) writes need from buffer, length and offset.
    static constexpr size_t kDirectAlign = 4096;

  private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
