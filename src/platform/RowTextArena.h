#pragma once
// The texts of the list's rows, packed: a row's cells lie one after another in a
// chunk of bytes, each as its length and its UTF-16 units in a UTF-8 form that
// also carries lone surrogates (so a name whose bytes are not UTF-8, which the
// program holds as escaped units, comes back unit for unit). A list of a million
// rows then costs about the bytes of its texts, not a few allocations per cell.
//
// A row's texts are never changed in place: new texts are written anew and the
// old bytes count as waste. A chunk whose bytes are all waste is freed at once;
// the owner rewrites the rest (Compact) when the waste outgrows what is in use.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace rowtext {

// Appends `units` to `out` in the packed form.
void Encode(std::u16string_view units, std::string& out);
// The units of a packed text (as Encode wrote it) appended to `out`.
void Decode(std::string_view bytes, std::u16string& out);

}  // namespace rowtext

class RowTextArena {
  public:
    using Ref = uint64_t;  // chunk index in the high half, offset in the low one
    static constexpr Ref kNone = ~Ref{0};

    // Rows packed off the window's thread, to be moved into the arena as one chunk.
    class Batch {
      public:
        void Add(std::initializer_list<std::u16string_view> texts);
        size_t RowCount() const { return starts_.size(); }

      private:
        friend class RowTextArena;
        std::string bytes_;
        std::vector<uint32_t> starts_;
    };

    // Stores the texts of one row and returns where they are.
    Ref Add(const std::vector<std::u16string>& texts);
    // Takes over the chunk of a batch; appends the rows' places to `refs`.
    void AddBatch(Batch&& batch, std::vector<Ref>& refs);
    // Cell `column` of the row at `ref` as packed bytes (empty where there is none).
    std::string_view Cell(Ref ref, int column) const;
    std::u16string Text(Ref ref, int column) const;
    std::vector<std::u16string> Texts(Ref ref) const;
    // The row at `ref` is gone: its bytes become waste.
    void Release(Ref ref);
    void Clear();

    // True when the waste outgrows what is in use, so that a rewrite pays off.
    bool WantsCompact() const;
    // Copies the row at `ref` into `into` (the arena that replaces this one).
    Ref CopyTo(Ref ref, RowTextArena& into) const;

    size_t BytesInUse() const { return live_; }
    size_t BytesHeld() const { return held_; }

  private:
    struct Chunk {
        std::string bytes;
        size_t live = 0;  // bytes of rows that still use it
    };
    const char* RowStart(Ref ref) const;
    static size_t RowSize(const char* row);
    Ref Place(std::string_view row);
    uint32_t NewChunk(std::string bytes);

    static constexpr size_t kChunkBytes = 256 * 1024;
    std::vector<Chunk> chunks_;
    std::vector<uint32_t> freeChunks_;  // indices of freed chunks, for reuse
    uint32_t open_ = UINT32_MAX;        // the chunk single rows are added to
    size_t live_ = 0, held_ = 0;
};
