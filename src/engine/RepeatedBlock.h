#pragma once
// Writing one block over and over, as every pass does: many copies of the block go
// to the system in one gathering write, so a large file costs a few calls per
// pass rather than one per block.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace fsys {
class File;
}

// Bytes a single gathering write carries at most (whole blocks where they fit).
inline constexpr size_t kRepeatedWriteBytes = 4u << 20;

// Writes `length` bytes from offset 0: byte o is block[o mod blockSize], exactly
// what writing the block again and again from the start would store. False when
// not everything could be stored.
// `written`, when set, hears the bytes stored so far after each write. `stop`,
// when set and true, ends the writing after the write under way: false with
// errno ECANCELED.
bool WriteRepeatedBlock(fsys::File& file, const unsigned char* block, size_t blockSize,
                        int64_t length, const std::function<void(int64_t)>& written = {},
                        const std::atomic<bool>* stop = nullptr);
