#include "report/Json.h"

#include <cstdio>
#include <unordered_set>

JsonValue JsonValue::Bool(bool b) {
    JsonValue v;
    v.type_ = Type::kBool;
    v.bool_ = b;
    return v;
}

JsonValue JsonValue::Int(int64_t n) {
    JsonValue v;
    v.type_ = Type::kInt;
    v.int_ = n;
    return v;
}

JsonValue JsonValue::String(std::string s) {
    JsonValue v;
    v.type_ = Type::kString;
    v.text_ = std::move(s);
    return v;
}

JsonValue JsonValue::Array() {
    JsonValue v;
    v.type_ = Type::kArray;
    return v;
}

JsonValue JsonValue::Object() {
    JsonValue v;
    v.type_ = Type::kObject;
    return v;
}

JsonValue& JsonValue::Set(std::string_view key, JsonValue value) {
    type_ = Type::kObject;
    for (auto& m : members_)
        if (m.first == key) {
            m.second = std::move(value);
            return *this;
        }
    members_.emplace_back(std::string(key), std::move(value));
    return *this;
}

void JsonValue::Add(std::string key, JsonValue value) {
    type_ = Type::kObject;
    members_.emplace_back(std::move(key), std::move(value));
}

bool JsonValue::Remove(std::string_view key) {
    for (auto it = members_.begin(); it != members_.end(); ++it)
        if (it->first == key) {
            members_.erase(it);
            return true;
        }
    return false;
}

const JsonValue* JsonValue::Get(std::string_view key) const {
    for (const auto& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

JsonValue* JsonValue::Get(std::string_view key) {
    for (auto& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

JsonValue& JsonValue::Push(JsonValue value) {
    type_ = Type::kArray;
    items_.push_back(std::move(value));
    return items_.back();
}

namespace {

void WriteString(const std::string& s, std::string& out) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void Write(const JsonValue& v, int depth, std::string& out) {
    const std::string indent(static_cast<size_t>(depth + 1) * 2, ' ');
    const std::string closing(static_cast<size_t>(depth) * 2, ' ');
    switch (v.type()) {
        case JsonValue::Type::kNull:
            out += "null";
            break;
        case JsonValue::Type::kBool:
            out += v.boolean() ? "true" : "false";
            break;
        case JsonValue::Type::kInt:
            out += std::to_string(v.integer());
            break;
        case JsonValue::Type::kString:
            WriteString(v.text(), out);
            break;
        case JsonValue::Type::kArray:
            if (v.items().empty()) {
                out += "[]";
                break;
            }
            out += "[\n";
            for (size_t i = 0; i < v.items().size(); ++i) {
                out += indent;
                Write(v.items()[i], depth + 1, out);
                out += i + 1 < v.items().size() ? ",\n" : "\n";
            }
            out += closing + "]";
            break;
        case JsonValue::Type::kObject:
            if (v.members().empty()) {
                out += "{}";
                break;
            }
            out += "{\n";
            for (size_t i = 0; i < v.members().size(); ++i) {
                out += indent;
                WriteString(v.members()[i].first, out);
                out += ": ";
                Write(v.members()[i].second, depth + 1, out);
                out += i + 1 < v.members().size() ? ",\n" : "\n";
            }
            out += closing + "}";
            break;
    }
}

class Reader {
  public:
    Reader(std::string_view t, size_t maxValues) : t_(t), valuesLeft_(maxValues) {}

    bool Document(JsonValue& out, std::string& error) {
        SkipSpace();
        if (!Value(out, 0)) {
            error = error_.empty() ? "not JSON" : error_;
            error += " at byte " + std::to_string(p_);
            return false;
        }
        SkipSpace();
        if (p_ != t_.size()) {
            error = "text after the value at byte " + std::to_string(p_);
            return false;
        }
        return true;
    }

  private:
    bool Fail(const char* what) {
        if (error_.empty()) error_ = what;
        return false;
    }
    void SkipSpace() {
        while (p_ < t_.size() &&
               (t_[p_] == ' ' || t_[p_] == '\n' || t_[p_] == '\r' || t_[p_] == '\t'))
            ++p_;
    }
    bool Literal(std::string_view word) {
        if (t_.substr(p_, word.size()) != word) return Fail("unknown word");
        p_ += word.size();
        return true;
    }
    bool Value(JsonValue& out, int depth) {
        if (depth > 64) return Fail("nested too deep");
        if (p_ >= t_.size()) return Fail("value missing");
        if (valuesLeft_ == 0) return Fail("too many values");
        --valuesLeft_;
        const char c = t_[p_];
        if (c == '{') return ObjectValue(out, depth);
        if (c == '[') return ArrayValue(out, depth);
        if (c == '"') {
            std::string s;
            if (!StringValue(s)) return false;
            out = JsonValue::String(std::move(s));
            return true;
        }
        if (c == 't' || c == 'f') {
            const bool b = c == 't';
            if (!Literal(b ? "true" : "false")) return false;
            out = JsonValue::Bool(b);
            return true;
        }
        if (c == 'n') {
            if (!Literal("null")) return false;
            out = JsonValue();
            return true;
        }
        return Number(out);
    }
    bool Number(JsonValue& out) {
        const size_t start = p_;
        bool negative = false;
        if (p_ < t_.size() && t_[p_] == '-') {
            negative = true;
            ++p_;
        }
        uint64_t n = 0;
        const size_t digits = p_;
        while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') {
            const uint64_t d = static_cast<uint64_t>(t_[p_] - '0');
            if (n > (UINT64_C(9223372036854775807) - d) / 10) return Fail("number too large");
            n = n * 10 + d;
            ++p_;
        }
        if (p_ == digits) return Fail("not a value");
        if (t_[digits] == '0' && p_ - digits > 1) return Fail("leading zero");
        if (p_ < t_.size() && (t_[p_] == '.' || t_[p_] == 'e' || t_[p_] == 'E'))
            return Fail("only integers are allowed");
        (void)start;
        out = JsonValue::Int(negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n));
        return true;
    }
    static void PutUtf8(uint32_t cp, std::string& s) {
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xc0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xe0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            s += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            s += static_cast<char>(0xf0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            s += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }
    bool Hex4(uint32_t& v) {
        if (p_ + 4 > t_.size()) return Fail("short escape");
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = t_[p_++];
            v <<= 4;
            if (h >= '0' && h <= '9')
                v |= static_cast<uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                v |= static_cast<uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                v |= static_cast<uint32_t>(h - 'A' + 10);
            else
                return Fail("bad escape");
        }
        return true;
    }
    // One UTF-8 sequence, checked (no overlong forms, no surrogates).
    bool Utf8Char(std::string& s) {
        const auto b0 = static_cast<unsigned char>(t_[p_]);
        int len = b0 < 0x80             ? 1
                  : (b0 & 0xe0) == 0xc0 ? 2
                  : (b0 & 0xf0) == 0xe0 ? 3
                  : (b0 & 0xf8) == 0xf0 ? 4
                                        : 0;
        if (len == 0 || p_ + static_cast<size_t>(len) > t_.size()) return Fail("bad UTF-8");
        uint32_t cp = len == 1   ? b0
                      : len == 2 ? (b0 & 0x1fu)
                      : len == 3 ? (b0 & 0x0fu)
                                 : (b0 & 0x07u);
        for (int i = 1; i < len; ++i) {
            const auto b = static_cast<unsigned char>(t_[p_ + static_cast<size_t>(i)]);
            if ((b & 0xc0) != 0x80) return Fail("bad UTF-8");
            cp = (cp << 6) | (b & 0x3fu);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return Fail("bad UTF-8");
        s.append(t_.substr(p_, static_cast<size_t>(len)));
        p_ += static_cast<size_t>(len);
        return true;
    }
    bool StringValue(std::string& s) {
        ++p_;  // the opening quote
        for (;;) {
            if (p_ >= t_.size()) return Fail("unterminated string");
            const char c = t_[p_];
            if (c == '"') {
                ++p_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
            if (c != '\\') {
                if (!Utf8Char(s)) return false;
                continue;
            }
            if (++p_ >= t_.size()) return Fail("short escape");
            const char e = t_[p_++];
            switch (e) {
                case '"':
                    s += '"';
                    break;
                case '\\':
                    s += '\\';
                    break;
                case '/':
                    s += '/';
                    break;
                case 'b':
                    s += '\b';
                    break;
                case 'f':
                    s += '\f';
                    break;
                case 'n':
                    s += '\n';
                    break;
                case 'r':
                    s += '\r';
                    break;
                case 't':
                    s += '\t';
                    break;
                case 'u': {
                    uint32_t cp = 0;
                    if (!Hex4(cp)) return false;
                    if (cp >= 0xdc00 && cp <= 0xdfff) return Fail("lone surrogate");
                    if (cp >= 0xd800 && cp <= 0xdbff) {
                        uint32_t low = 0;
                        if (t_.substr(p_, 2) != "\\u") return Fail("lone surrogate");
                        p_ += 2;
                        if (!Hex4(low)) return false;
                        if (low < 0xdc00 || low > 0xdfff) return Fail("lone surrogate");
                        cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                    }
                    PutUtf8(cp, s);
                    break;
                }
                default:
                    return Fail("bad escape");
            }
        }
    }
    bool ArrayValue(JsonValue& out, int depth) {
        ++p_;
        out = JsonValue::Array();
        SkipSpace();
        if (p_ < t_.size() && t_[p_] == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipSpace();
            JsonValue item;
            if (!Value(item, depth + 1)) return false;
            out.Push(std::move(item));
            SkipSpace();
            if (p_ < t_.size() && t_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < t_.size() && t_[p_] == ']') {
                ++p_;
                return true;
            }
            return Fail("',' or ']' expected");
        }
    }
    bool ObjectValue(JsonValue& out, int depth) {
        ++p_;
        out = JsonValue::Object();
        // Names already met, found by hash: an object of many members is read in
        // time proportional to its size.
        std::unordered_set<std::string> names;
        SkipSpace();
        if (p_ < t_.size() && t_[p_] == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            SkipSpace();
            if (p_ >= t_.size() || t_[p_] != '"') return Fail("member name expected");
            std::string key;
            if (!StringValue(key)) return false;
            if (!names.insert(key).second) return Fail("member named twice");
            if (names.size() > kJsonMaxMembers) return Fail("too many members in an object");
            SkipSpace();
            if (p_ >= t_.size() || t_[p_] != ':') return Fail("':' expected");
            ++p_;
            SkipSpace();
            JsonValue value;
            if (!Value(value, depth + 1)) return false;
            out.Add(std::move(key), std::move(value));
            SkipSpace();
            if (p_ < t_.size() && t_[p_] == ',') {
                ++p_;
                continue;
            }
            if (p_ < t_.size() && t_[p_] == '}') {
                ++p_;
                return true;
            }
            return Fail("',' or '}' expected");
        }
    }

    std::string_view t_;
    size_t p_ = 0;
    size_t valuesLeft_;
    std::string error_;
};

}  // namespace

std::string WriteJson(const JsonValue& value) {
    std::string out;
    Write(value, 0, out);
    out += '\n';
    return out;
}

std::string WriteJsonItem(const JsonValue& value, int depth) {
    std::string out;
    Write(value, depth, out);
    return out;
}

bool ReadJson(std::string_view text, JsonValue& out, std::string& error, size_t maxValues) {
    return Reader(text, maxValues).Document(out, error);
}
