#include "engine/ShredBlock.h"

#include <algorithm>
#include <new>

#include "engine/FileOps.h"
#include "engine/ShredValue.h"
#include "engine/ThreadRandom.h"
#include "platform/FileSystem.h"

unsigned char ShredBlock::FixedByte(const std::u16string& text) {
    return ShredValueByte(text);
}

bool ShredBlock::Fill(const std::u16string& shredValue, uint32_t blockSize, int64_t needed,
                      bool mayGrow) {
    blockSize_ = blockSize;
    randomMode_ = shredValue.empty();
    // A small file that cannot grow needs only its own length of the block: filling
    // the rest would cost more than writing the file.
    const uint64_t want = std::max<uint64_t>(needed > 0 ? static_cast<uint64_t>(needed) : 0u,
                                             mayGrow ? kMaxGrowth : 0u);
    const auto held = static_cast<size_t>(std::min<uint64_t>(blockSize, want));
    try {
        bytes_.assign(held, 0);
    } catch (const std::bad_alloc&) {
        bytes_.clear();
        return false;
    }
    if (randomMode_) {
        // Modulo 255: the value 255 never occurs, as it always has.
        FillThreadRandomBytes(bytes_.data(), bytes_.size());
        SkipThreadRandom(blockSize - held);
        return true;
    }
    fsys::Attributes attr;
    if (fsys::GetAttributes(shredValue, attr) && attr.kind != fsys::Kind::kFolder &&
        FillFromPattern(shredValue))
        return true;
    std::fill(bytes_.begin(), bytes_.end(), FixedByte(shredValue));
    return true;
}

bool ShredBlock::FillFromPattern(const std::u16string& path) {
    // A pattern the user names may be a link to the real file; it is only read.
    fsys::File file;
    if (!file.Open(path, fsys::File::Mode::kReadFollowingLinks)) return false;
    // Byte i of the buffer is byte (i mod length) of the pattern, so a pattern at
    // least as long as what we keep is simply copied and the rest never read.
    size_t got = 0;
    while (got < bytes_.size()) {
        int64_t n = file.Read(bytes_.data() + got, bytes_.size() - got);
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    file.Close();
    // An empty pattern gives nothing to repeat: the buffer stays all zero bytes.
    if (got == 0) return true;
    for (size_t i = got; i < bytes_.size(); ++i) bytes_[i] = bytes_[i % got];
    return true;
}
