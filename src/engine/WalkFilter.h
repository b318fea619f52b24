#pragma once
// The name, extension and size tests of the folder walker, prepared once per walk.
//
// Rules for the texts (letter case is ignored in both, using the full Unicode
// lower-case mapping of the C.UTF-8 locale, ASCII only when that is missing):
// - name filter: "*" passes every name; any other text passes a name that contains it.
// - extension filter: "*" passes every name; otherwise a ";"-separated list of items.
//   Blanks around an item are ignored, a leading "*" is dropped and a missing leading
//   dot is added, so ".txt", "txt", "*.txt" and " .TXT " are the same item. An item
//   "*" inside the list passes every name. A name's extension is the part from its
//   last dot, dot included (".profile" has the extension ".profile", "a." has ".");
//   it passes only when it equals one item as a whole, so ".tx" and ".t" do not pass
//   ".txt". A name without a dot has no extension and passes no list.
// - size: with the filter on, a minimum other than -1 excludes smaller files and a
//   maximum other than -1 excludes larger ones.
#include <cstdint>
#include <string>
#include <vector>

struct WalkOptions;

class WalkFilter {
  public:
    void Configure(const WalkOptions& options);
    bool Passes(const std::u16string& name, int64_t size) const;
    bool NeedsSize() const { return sizeOn_; }

    // Lower-cases a UTF-16 text; surrogates and unmapped characters stay as they are.
    static std::u16string Lower(std::u16string_view text);

  private:
    bool anyName_ = true;
    bool anyExt_ = true;
    bool sizeOn_ = false;
    int64_t minSize_ = -1;
    int64_t maxSize_ = -1;
    std::u16string name_;
    std::vector<std::u16string> exts_;
};
