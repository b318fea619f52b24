#include "MiniJson.h"

#include <cstdlib>

namespace {

struct Reader {
    const std::string& s;
    size_t i = 0;
    std::string error;

    void Space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
    }
    bool Fail(const std::string& what) {
        if (error.empty()) error = what + " at " + std::to_string(i);
        return false;
    }
    bool Literal(const char* word) {
        const std::string w = word;
        if (s.compare(i, w.size(), w) != 0) return Fail("bad literal");
        i += w.size();
        return true;
    }
    bool String(std::string& out) {
        if (s[i] != '"') return Fail("string expected");
        for (++i; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == '"') {
                ++i;
                return true;
            }
            if (c < 0x20) return Fail("raw control character");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (++i >= s.size()) break;
            switch (s[i]) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case '/':
                case '\\':
                case '"':
                    out += s[i];
                    break;
                case 'u': {
                    if (i + 4 >= s.size()) return Fail("short \\u");
                    const long v = std::strtol(s.substr(i + 1, 4).c_str(), nullptr, 16);
                    if (v < 0x80)
                        out += static_cast<char>(v);
                    else
                        out += '?';
                    i += 4;
                    break;
                }
                default:
                    return Fail("bad escape");
            }
        }
        return Fail("unterminated string");
    }
    bool Value(Json& v) {
        Space();
        if (i >= s.size()) return Fail("value expected");
        const char c = s[i];
        if (c == '{') {
            v.type = Json::Type::kObject;
            ++i;
            Space();
            if (i < s.size() && s[i] == '}') return ++i, true;
            for (;;) {
                Space();
                std::string key;
                if (!String(key)) return false;
                Space();
                if (i >= s.size() || s[i++] != ':') return Fail("':' expected");
                if (v.members.count(key)) return Fail("duplicate key " + key);
                if (!Value(v.members[key])) return false;
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == '}') return ++i, true;
                return Fail("',' or '}' expected");
            }
        }
        if (c == '[') {
            v.type = Json::Type::kArray;
            ++i;
            Space();
            if (i < s.size() && s[i] == ']') return ++i, true;
            for (;;) {
                v.items.emplace_back();
                if (!Value(v.items.back())) return false;
                Space();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ']') return ++i, true;
                return Fail("',' or ']' expected");
            }
        }
        if (c == '"') {
            v.type = Json::Type::kString;
            return String(v.text);
        }
        if (c == 't') {
            v.type = Json::Type::kBool;
            v.boolean = true;
            return Literal("true");
        }
        if (c == 'f') {
            v.type = Json::Type::kBool;
            return Literal("false");
        }
        if (c == 'n') return Literal("null");
        const size_t start = i;
        if (s[i] == '-') ++i;
        while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.' || s[i] == 'e' ||
                                s[i] == 'E' || s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == start) return Fail("unexpected character");
        const std::string num = s.substr(start, i - start);
        v.type = Json::Type::kNumber;
        v.number = std::strtod(num.c_str(), nullptr);
        v.integer = num.find_first_of(".eE") == std::string::npos;
        return true;
    }
};

bool OfType(const Json& value, const Json& rule) {
    if (const Json* c = rule.Get("const"))
        return value.type == Json::Type::kString && value.text == c->text;
    if (const Json* e = rule.Get("enum")) {
        for (const Json& option : e->items)
            if (value.type == Json::Type::kString && value.text == option.text) return true;
        return false;
    }
    const Json* t = rule.Get("type");
    if (!t) return true;
    const std::string& type = t->text;
    if (type == "string") return value.type == Json::Type::kString;
    if (type == "integer") return value.type == Json::Type::kNumber && value.integer;
    if (type == "boolean") return value.type == Json::Type::kBool;
    if (type == "array") {
        if (value.type != Json::Type::kArray) return false;
        const Json* items = rule.Get("items");
        for (const Json& item : value.items)
            if (items && !OfType(item, *items)) return false;
        return true;
    }
    return false;
}

}  // namespace

bool ParseJson(const std::string& text, Json& out, std::string& error) {
    Reader r{text, 0, {}};
    out = Json{};
    if (!r.Value(out)) {
        error = r.error;
        return false;
    }
    r.Space();
    if (r.i != text.size()) {
        error = "text after the value";
        return false;
    }
    return true;
}

std::string CheckEventLine(const Json& schema, const std::string& line) {
    Json v;
    std::string error;
    if (!ParseJson(line, v, error)) return "not JSON (" + error + "): " + line;
    if (v.type != Json::Type::kObject) return "not an object: " + line;
    const Json* event = v.Get("event");
    if (!event || event->type != Json::Type::kString) return "no event: " + line;
    const Json* defs = schema.Get("$defs");
    const Json* def = defs ? defs->Get(event->text) : nullptr;
    if (!def) return "event not in the schema: " + line;
    for (const Json& req : def->Get("required")->items) {
        const Json* field = v.Get(req.text);
        if (!field) return "no " + req.text + ": " + line;
    }
    // Every field given, required or not, has the type the schema says.
    const Json* props = def->Get("properties");
    for (const auto& [key, value] : v.members) {
        const Json* rule = props ? props->Get(key) : nullptr;
        if (!rule) return "field " + key + " not in the schema: " + line;
        if (!OfType(value, *rule)) return "field " + key + " of the wrong type or value: " + line;
    }
    return {};
}
