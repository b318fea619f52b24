#include "engine/RepeatedBlock.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/FileSystem.h"

namespace {

// Linux takes at most this many pieces per call.
constexpr size_t kMaxPieces = 1024;

}  // namespace

bool WriteRepeatedBlock(fsys::File& file, const unsigned char* block, size_t blockSize,
                        int64_t length, const std::function<void(int64_t)>& written,
                        const std::atomic<bool>* stop) {
    if (blockSize == 0) return length <= 0;
    std::vector<fsys::File::Piece> pieces;
    pieces.reserve(std::min(kMaxPieces, kRepeatedWriteBytes / blockSize + 2));
    int64_t offset = 0;
    while (offset < length) {
        // A short write leaves `offset` inside a block: the next call starts there,
        // so every byte still lands where the block puts it.
        pieces.clear();
        size_t bytes = 0;
        int64_t at = offset;
        while (at < length && pieces.size() < kMaxPieces &&
               (bytes == 0 || bytes + blockSize <= kRepeatedWriteBytes)) {
            const auto inBlock = static_cast<size_t>(at % static_cast<int64_t>(blockSize));
            const auto size =
                static_cast<size_t>(std::min<int64_t>(blockSize - inBlock, length - at));
            pieces.push_back({block + inBlock, size});
            bytes += size;
            at += static_cast<int64_t>(size);
        }
        const int64_t n = file.WritePiecesAt(pieces.data(), pieces.size(), offset);
        if (n == 0) errno = ENOSPC;  // a full disk shows as 0 or ENOSPC
        if (n <= 0) return false;
        offset += n;
        if (written) written(offset);
        if (stop && offset < length && stop->load()) {
            errno = ECANCELED;
            return false;
        }
    }
    return true;
}
