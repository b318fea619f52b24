// A JSON Schema check of the keywords the report's schema uses. Its cost is the
// value's size times the schema's: patterns are matched by SchemaPattern (never
// a backtracking search), and the problems it lists are capped.
#include <unordered_map>

#include "report/ReportJson.h"
#include "report/SchemaPattern.h"

namespace {

const char* TypeName(const JsonValue& v) {
    switch (v.type()) {
        case JsonValue::Type::kNull:
            return "null";
        case JsonValue::Type::kBool:
            return "boolean";
        case JsonValue::Type::kInt:
            return "integer";
        case JsonValue::Type::kString:
            return "string";
        case JsonValue::Type::kArray:
            return "array";
        case JsonValue::Type::kObject:
            return "object";
    }
    return "null";
}

bool SameValue(const JsonValue& a, const JsonValue& b) {
    return WriteJson(a) == WriteJson(b);
}

class Checker {
  public:
    explicit Checker(const JsonValue& root) : root_(root) {}

    void Check(const JsonValue& schema, const JsonValue& v, const std::string& where, int depth) {
        if (depth > 32) {
            Problem(where + ": schema nested too deep");
            return;
        }
        if (const JsonValue* ref = schema.Get("$ref")) {
            const JsonValue* target = Resolve(ref->text());
            if (!target) {
                Problem(where + ": schema reference " + ref->text() + " not found");
                return;
            }
            Check(*target, v, where, depth + 1);
        }
        if (const JsonValue* type = schema.Get("type")) {
            bool fits = false;
            auto one = [&](const std::string& t) {
                fits = fits || t == TypeName(v) ||
                       (t == "number" && v.type() == JsonValue::Type::kInt);
            };
            if (type->type() == JsonValue::Type::kArray) {
                for (const JsonValue& t : type->items()) one(t.text());
            } else {
                one(type->text());
            }
            if (!fits) {
                Problem(where + ": " + TypeName(v) + " where the schema wants " +
                        WriteJsonLine(*type));
                return;
            }
        }
        if (const JsonValue* c = schema.Get("const"); c && !SameValue(*c, v))
            Problem(where + ": not " + WriteJsonLine(*c));
        if (const JsonValue* e = schema.Get("enum")) {
            bool found = false;
            for (const JsonValue& option : e->items()) found = found || SameValue(option, v);
            if (!found)
                Problem(where + ": " + WriteJsonLine(v) + " is none of " + WriteJsonLine(*e));
        }
        if (const JsonValue* min = schema.Get("minimum");
            min && v.type() == JsonValue::Type::kInt && v.integer() < min->integer())
            Problem(where + ": below " + std::to_string(min->integer()));
        if (const JsonValue* pattern = schema.Get("pattern");
            pattern && v.type() == JsonValue::Type::kString) {
            auto [it, made] = patterns_.try_emplace(pattern->text());
            if (made) it->second.ok = it->second.pattern.Compile(pattern->text());
            if (!it->second.ok)
                Problem(where + ": bad pattern in the schema");
            else if (!it->second.pattern.Search(v.text()))
                Problem(where + ": does not match " + pattern->text());
        }
        if (v.type() == JsonValue::Type::kObject) Object(schema, v, where, depth);
        if (v.type() == JsonValue::Type::kArray) {
            if (const JsonValue* items = schema.Get("items"))
                for (size_t i = 0; i < v.items().size(); ++i)
                    Check(*items, v.items()[i], where + "[" + std::to_string(i) + "]", depth + 1);
        }
    }

    std::vector<std::string> problems;
    int64_t moreProblems = 0;

  private:
    // Enough to tell what is wrong; a value of a million wrong members costs no more.
    static constexpr size_t kMaxProblems = 50;
    static constexpr size_t kMaxProblemText = 300;
    void Problem(std::string p) {
        if (p.size() > kMaxProblemText) p = p.substr(0, kMaxProblemText) + "...";
        if (problems.size() < kMaxProblems)
            problems.push_back(std::move(p));
        else
            ++moreProblems;
    }
    struct Compiled {
        SchemaPattern pattern;
        bool ok = false;
    };
    std::unordered_map<std::string, Compiled> patterns_;

    static std::string WriteJsonLine(const JsonValue& v) {
        std::string s = WriteJson(v);
        std::string out;
        bool space = false;
        for (char c : s) {
            if (c == '\n' || c == ' ') {
                space = true;
                continue;
            }
            if (space && !out.empty() && out.back() != '[' && out.back() != '{') out += ' ';
            space = false;
            out += c;
        }
        return out;
    }

  public:
    const JsonValue* Resolve(const std::string& ref) const {
        if (ref.rfind("#/", 0) != 0) return nullptr;
        const JsonValue* at = &root_;
        size_t p = 2;
        while (at && p <= ref.size()) {
            const size_t slash = ref.find('/', p);
            const std::string part = ref.substr(p, slash == std::string::npos ? slash : slash - p);
            at = at->Get(part);
            if (slash == std::string::npos) break;
            p = slash + 1;
        }
        return at;
    }

  private:
    void Object(const JsonValue& schema, const JsonValue& v, const std::string& where, int depth) {
        if (const JsonValue* required = schema.Get("required"))
            for (const JsonValue& key : required->items())
                if (!v.Get(key.text())) Problem(where + ": \"" + key.text() + "\" missing");
        const JsonValue* properties = schema.Get("properties");
        const JsonValue* additional = schema.Get("additionalProperties");
        for (const auto& [key, member] : v.members()) {
            const JsonValue* sub = properties ? properties->Get(key) : nullptr;
            if (sub) {
                Check(*sub, member, where + "." + key, depth + 1);
            } else if (additional && additional->type() == JsonValue::Type::kBool &&
                       !additional->boolean()) {
                Problem(where + ": \"" + key + "\" is not allowed");
            }
        }
    }

    const JsonValue& root_;
};

}  // namespace

std::vector<std::string> SchemaProblems(const JsonValue& schema, const JsonValue& value,
                                        const std::string& part, const std::string& where) {
    Checker c(schema);
    const JsonValue* under = part.empty() ? &schema : c.Resolve(part);
    if (!under) return {where + ": schema part " + part + " not found"};
    c.Check(*under, value, where, 0);
    if (c.moreProblems > 0)
        c.problems.push_back(where + ": ... and " + std::to_string(c.moreProblems) +
                             " more problem(s)");
    return std::move(c.problems);
}
