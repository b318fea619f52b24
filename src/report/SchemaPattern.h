#pragma once
// The "pattern" keyword of the report's schema, matched in time proportional to
// the text (times the pattern's size), whatever the text: a state machine is
// run over it once, never a backtracking search, so that no value of a report
// can make the check slow or deep. The patterns of the schema are ECMA-262
// regular expressions of a small kind; this takes literals and escapes, ".",
// classes ("[0-9a-f]", "[^/]"), groups with "|", the quantifiers "?", "*", "+",
// "{n}", "{n,}", "{n,m}", and "^" and "$" at the ends. Anything else is refused
// when the pattern is compiled.
#include <bitset>
#include <string>
#include <string_view>
#include <vector>

class SchemaPattern {
  public:
    // False when the pattern uses what this does not take, or is too large.
    bool Compile(std::string_view pattern);
    // As a JSON Schema "pattern" is matched: anywhere in the text, unless anchored.
    bool Search(std::string_view text) const;

  private:
    struct State {
        enum class Kind { kMatch, kByte, kSplit } kind = Kind::kMatch;
        std::bitset<256> bytes;
        int out = -1, out1 = -1;
    };
    struct Node;
    int Emit(const Node& node, int next);

    std::vector<State> states_;
    int start_ = -1;
    bool anchoredStart_ = false, anchoredEnd_ = false;
    bool tooLarge_ = false;
};
