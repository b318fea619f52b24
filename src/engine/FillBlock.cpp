#include "engine/FillBlock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/ShredValue.h"
#include "engine/ThreadRandom.h"

namespace {

// Reads the first bytes of a pattern file, at most `limit`: bytes past the block
// never reach it, so a huge pattern file costs no more memory than the block.
std::vector<uint8_t> ReadPatternHead(const std::u16string& path, size_t limit) {
    std::vector<uint8_t> bytes;
    int fd = ::open(Utf8FromWide(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        bytes.resize(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), limit));
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n =
                ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        // A file that shrank while we read repeats what we did get.
        bytes.resize(got);
    }
    ::close(fd);
    return bytes;
}

}  // namespace

FillBlock::FillBlock(size_t size) : size_(size), held_(std::min(size, kMaxHeld)), period_(held_) {
    const size_t room = (held_ + 1 + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
    void* p = nullptr;
    if (size > 0 && ::posix_memalign(&p, kDirectAlign, room) == 0) {
        data_ = static_cast<uint8_t*>(p);
        std::memset(data_, 0, room);
    }
}

FillBlock::~FillBlock() {
    std::free(data_);
}

void FillBlock::Build(bool random, const std::u16string& shredValue) {
    if (!data_) return;
    period_ = held_;
    if (random) {
        FillThreadRandomBytes(data_, held_);
        SkipThreadRandom(size_ - held_);
        return;
    }
    if (shredValue.empty()) {
        std::memset(data_, 0, held_);
        return;
    }
    std::vector<uint8_t> pattern;
    FileOps ops;
    if (ops.IsFile(shredValue)) pattern = ReadPatternHead(shredValue, held_);
    if (pattern.empty()) {
        std::memset(data_, ShredValueByte(shredValue), held_);
        return;
    }
    for (size_t j = 0; j < held_; ++j) data_[j] = pattern[j % pattern.size()];
    // A block larger than what we hold repeats the held bytes; they are the
    // pattern's only when whole copies of the pattern fit.
    if (held_ < size_ && pattern.size() < held_) period_ = held_ - held_ % pattern.size();
}
