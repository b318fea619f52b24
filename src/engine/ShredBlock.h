#pragma once
// The block buffer of one ShredFile call: filled once from the data source and
// written unchanged in every block of every pass.
#include <cstdint>
#include <string>
#include <vector>

class ShredBlock {
  public:
    // Every byte a call can ever write: a pass writes at most the file's length
    // from the buffer's start, and growing a file appends at most this much.
    static constexpr uint32_t kMaxGrowth = 99u * 1024u + 1024u;

    // Chooses the data source from `shredValue` and fills the buffer. `needed` is
    // the number of bytes the caller can write in one block (the file's length);
    // only min(blockSize, needed) bytes are kept in memory (at least kMaxGrowth when
    // the file may grow afterwards), and in random mode the generator is advanced
    // past the rest, so the data and all later draws are those of a fully filled
    // buffer. False when memory runs out.
    bool Fill(const std::u16string& shredValue, uint32_t blockSize, int64_t needed,
              bool mayGrow = true);

    uint32_t BlockSize() const { return blockSize_; }
    bool RandomMode() const { return randomMode_; }
    // The first min(BlockSize(), count) bytes of the buffer; count <= Held().
    const unsigned char* Data() const { return bytes_.data(); }
    uint64_t Held() const { return bytes_.size(); }

    // Byte i of the fixed mode: the low 8 bits of the decimal integer that starts
    // the text (0 when there is none), so "-1" and "255" give 0xFF, "256" gives 0.
    static unsigned char FixedByte(const std::u16string& text);

  private:
    bool FillFromPattern(const std::u16string& path);

    std::vector<unsigned char> bytes_;
    uint32_t blockSize_ = 0;
    bool randomMode_ = false;
};
