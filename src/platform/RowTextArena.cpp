#include "platform/RowTextArena.h"

#include <algorithm>

namespace {

bool StartsPair(std::u16string_view units, size_t i) {
    return units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
           units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
}

size_t EncodedSize(std::u16string_view units) {
    size_t n = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c < 0x80) {
            n += 1;
        } else if (c < 0x800) {
            n += 2;
        } else if (StartsPair(units, i)) {
            n += 4;
            ++i;
        } else {
            n += 3;
        }
    }
    return n;
}

// Writes the packed form of `units` from `p` on; returns where it ended.
char* EncodeTo(std::u16string_view units, char* p) {
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            continue;
        }
        if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        // A pair becomes one four-byte character; a lone surrogate keeps its own
        // three bytes, so that it comes back as the unit it was.
        if (StartsPair(units, i)) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00u);
            *p++ = static_cast<char>(0xF0 | (c >> 18));
            *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        } else {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
        }
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *p++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return p;
}

}  // namespace

namespace rowtext {

void Encode(std::u16string_view units, std::string& out) {
    const size_t at = out.size();
    out.resize(at + EncodedSize(units));
    EncodeTo(units, out.data() + at);
}

void Decode(std::string_view bytes, std::u16string& out) {
    // Never more units than bytes.
    const size_t at = out.size();
    out.resize(at + bytes.size());
    char16_t* q = out.data() + at;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    auto next = [&] { return p < end ? static_cast<uint32_t>(*p++ & 0x3F) : 0u; };
    while (p < end) {
        const uint32_t lead = *p++;
        if (lead < 0x80) {
            *q++ = static_cast<char16_t>(lead);
        } else if (lead < 0xE0) {
            const uint32_t c = (lead & 0x1F) << 6;
            *q++ = static_cast<char16_t>(c | next());
        } else if (lead < 0xF0) {
            uint32_t c = (lead & 0x0F) << 12;
            c |= next() << 6;
            *q++ = static_cast<char16_t>(c | next());
        } else {
            uint32_t c = (lead & 0x07) << 18;
            c |= next() << 12;
            c |= next() << 6;
            c = (c | next()) - 0x10000;
            *q++ = static_cast<char16_t>(0xD800 + (c >> 10));
            *q++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        }
    }
    out.resize(static_cast<size_t>(q - out.data()));
}

}  // namespace rowtext

namespace {

void PutSize(size_t n, std::string& out) {
    while (n >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (n & 0x7F)));
        n >>= 7;
    }
    out.push_back(static_cast<char>(n));
}

size_t GetSize(const char*& p) {
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = static_cast<unsigned char>(*p++);
        n |= static_cast<size_t>(b & 0x7F) << shift;
        if (b < 0x80) return n;
    }
}

// A row: the number of cells, then each cell as its byte length and its bytes.
template <class Texts>
void PackRow(const Texts& texts, std::string& out) {
    PutSize(texts.size(), out);
    for (std::u16string_view t : texts) {
        const size_t n = EncodedSize(t);
        PutSize(n, out);
        const size_t at = out.size();
        out.resize(at + n);
        EncodeTo(t, out.data() + at);
    }
}

}  // namespace

void RowTextArena::Batch::Add(std::initializer_list<std::u16string_view> texts) {
    starts_.push_back(static_cast<uint32_t>(bytes_.size()));
    PackRow(texts, bytes_);
}

const char* RowTextArena::RowStart(Ref ref) const {
    return chunks_[static_cast<size_t>(ref >> 32)].bytes.data() + (ref & 0xFFFFFFFFu);
}

size_t RowTextArena::RowSize(const char* row) {
    const char* p = row;
    for (size_t cells = GetSize(p); cells > 0; --cells) p += GetSize(p);
    return static_cast<size_t>(p - row);
}

uint32_t RowTextArena::NewChunk(std::string bytes) {
    if (!freeChunks_.empty()) {
        const uint32_t index = freeChunks_.back();
        freeChunks_.pop_back();
        chunks_[index].bytes = std::move(bytes);
        chunks_[index].live = 0;
        return index;
    }
    chunks_.push_back(Chunk{std::move(bytes), 0});
    return static_cast<uint32_t>(chunks_.size() - 1);
}

RowTextArena::Ref RowTextArena::Place(std::string_view row) {
    if (open_ == UINT32_MAX ||
        chunks_[open_].bytes.size() + row.size() > chunks_[open_].bytes.capacity()) {
        std::string bytes;
        bytes.reserve(std::max(kChunkBytes, row.size()));
        open_ = NewChunk(std::move(bytes));
    }
    Chunk& chunk = chunks_[open_];
    const Ref ref = (Ref{open_} << 32) | chunk.bytes.size();
    chunk.bytes.append(row);
    chunk.live += row.size();
    live_ += row.size();
    held_ += row.size();
    return ref;
}

RowTextArena::Ref RowTextArena::Add(const std::vector<std::u16string>& texts) {
    std::string row;
    PackRow(texts, row);
    return Place(row);
}

void RowTextArena::AddBatch(Batch&& batch, std::vector<Ref>& refs) {
    if (batch.starts_.empty()) return;
    // A chunk of its own, so the window's thread only moves the bytes in; what
    // the string kept in reserve while it grew is given back.
    const size_t size = batch.bytes_.size();
    if (batch.bytes_.capacity() > size + size / 8) batch.bytes_.shrink_to_fit();
    const uint32_t index = NewChunk(std::move(batch.bytes_));
    chunks_[index].live = size;
    live_ += size;
    held_ += size;
    refs.reserve(refs.size() + batch.starts_.size());
    for (uint32_t start : batch.starts_) refs.push_back((Ref{index} << 32) | start);
    batch.starts_.clear();
}

std::string_view RowTextArena::Cell(Ref ref, int column) const {
    if (ref == kNone || column < 0) return {};
    const char* p = RowStart(ref);
    const size_t cells = GetSize(p);
    if (static_cast<size_t>(column) >= cells) return {};
    for (int c = 0; c < column; ++c) p += GetSize(p);
    const size_t n = GetSize(p);
    return {p, n};
}

std::u16string RowTextArena::Text(Ref ref, int column) const {
    std::u16string out;
    rowtext::Decode(Cell(ref, column), out);
    return out;
}

std::vector<std::u16string> RowTextArena::Texts(Ref ref) const {
    std::vector<std::u16string> out;
    if (ref == kNone) return out;
    const char* p = RowStart(ref);
    out.resize(GetSize(p));
    for (std::u16string& t : out) {
        const size_t n = GetSize(p);
        rowtext::Decode({p, n}, t);
        p += n;
    }
    return out;
}

void RowTextArena::Release(Ref ref) {
    if (ref == kNone) return;
    const uint32_t index = static_cast<uint32_t>(ref >> 32);
    const size_t size = RowSize(RowStart(ref));
    Chunk& chunk = chunks_[index];
    chunk.live -= size;
    live_ -= size;
    if (chunk.live > 0) return;
    held_ -= chunk.bytes.size();
    if (index == open_) {
        chunk.bytes.clear();  // keeps its room for the next rows
        return;
    }
    std::string().swap(chunk.bytes);
    freeChunks_.push_back(index);
}

void RowTextArena::Clear() {
    chunks_.clear();
    freeChunks_.clear();
    open_ = UINT32_MAX;
    live_ = held_ = 0;
}

bool RowTextArena::WantsCompact() const {
    const size_t waste = held_ - live_;
    return waste > live_ && waste > 4 * kChunkBytes;
}

RowTextArena::Ref RowTextArena::CopyTo(Ref ref, RowTextArena& into) const {
    if (ref == kNone) return kNone;
    const char* row = RowStart(ref);
    return into.Place({row, RowSize(row)});
}
