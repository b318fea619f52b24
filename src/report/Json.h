#pragma once
// The JSON of the reports: a small value tree whose objects keep their members in
// the order they were added, written one way only. A signature is checked over the
// text this writer makes, so the same tree always gives the same bytes: two spaces
// of indent, members in order, integers only, and one escape form per character.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class JsonValue {
  public:
    enum class Type { kNull, kBool, kInt, kString, kArray, kObject };

    JsonValue() = default;
    static JsonValue Bool(bool b);
    static JsonValue Int(int64_t n);
    static JsonValue String(std::string s);
    static JsonValue Array();
    static JsonValue Object();

    Type type() const { return type_; }
    bool boolean() const { return bool_; }
    int64_t integer() const { return int_; }
    const std::string& text() const { return text_; }
    const std::vector<JsonValue>& items() const { return items_; }
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }

    // Objects: adds a member (or replaces the one of that name in its place).
    JsonValue& Set(std::string_view key, JsonValue value);
    JsonValue& Set(std::string_view key, const char* value) { return Set(key, String(value)); }
    JsonValue& Set(std::string_view key, const std::string& value) {
        return Set(key, String(value));
    }
    JsonValue& Set(std::string_view key, bool value) { return Set(key, Bool(value)); }
    JsonValue& Set(std::string_view key, int value) { return Set(key, Int(value)); }
    JsonValue& Set(std::string_view key, int64_t value) { return Set(key, Int(value)); }
    JsonValue& Set(std::string_view key, uint64_t value) {
        return Set(key, Int(static_cast<int64_t>(value)));
    }
    JsonValue& Set(std::string_view key, uint32_t value) { return Set(key, Int(value)); }
    // Adds a member whose name the caller knows to be new (the reader does).
    void Add(std::string key, JsonValue value);
    bool Remove(std::string_view key);
    const JsonValue* Get(std::string_view key) const;
    JsonValue* Get(std::string_view key);
    // Arrays.
    JsonValue& Push(JsonValue value);

  private:
    Type type_ = Type::kNull;
    bool bool_ = false;
    int64_t int_ = 0;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

// The one written form, ending with a line break.
std::string WriteJson(const JsonValue& value);
// The same form of a value nested `depth` levels deep (an item of the report's
// entries is at depth 2), without the indent before it and the line break after.
std::string WriteJsonItem(const JsonValue& value, int depth);

// Strict: exactly one value, valid UTF-8, integers only (a fraction or exponent is
// refused), nesting at most 64 deep, no member named twice, at most
// kJsonMaxMembers members in an object (a report's have a few dozen), at most `maxValues`
// values in all (so that the tree it builds stays in proportion to what a report
// holds). False with `error` otherwise. Linear in the text.
inline constexpr size_t kJsonMaxValues = 1'000'000;
inline constexpr size_t kJsonMaxMembers = 4096;
bool ReadJson(std::string_view text, JsonValue& out, std::string& error,
              size_t maxValues = kJsonMaxValues);
