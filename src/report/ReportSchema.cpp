// A JSON Schema check of the keywords the report's schema uses.
#include <regex>

#include "report/ReportJson.h"

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
            problems.push_back(where + ": schema nested too deep");
            return;
        }
        if (const JsonValue* ref = schema.Get("$ref")) {
            const JsonValue* target = Resolve(ref->text());
            if (!target) {
                problems.push_back(where + ": schema reference " + ref->text() + " not found");
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
                problems.push_back(where + ": " + TypeName(v) + " where the schema wants " +
                                   WriteJsonLine(*type));
                return;
            }
        }
        if (const JsonValue* c = schema.Get("const"); c && !SameValue(*c, v))
            problems.push_back(where + ": not " + WriteJsonLine(*c));
        if (const JsonValue* e = schema.Get("enum")) {
            bool found = false;
            for (const JsonValue& option : e->items()) found = found || SameValue(option, v);
            if (!found)
                problems.push_back(where + ": " + WriteJsonLine(v) + " is none of " +
                                   WriteJsonLine(*e));
        }
        if (const JsonValue* min = schema.Get("minimum");
            min && v.type() == JsonValue::Type::kInt && v.integer() < min->integer())
            problems.push_back(where + ": below " + std::to_string(min->integer()));
        if (const JsonValue* pattern = schema.Get("pattern");
            pattern && v.type() == JsonValue::Type::kString) {
            try {
                if (!std::regex_search(v.text(), std::regex(pattern->text())))
                    problems.push_back(where + ": does not match " + pattern->text());
            } catch (const std::regex_error&) {
                problems.push_back(where + ": bad pattern in the schema");
            }
        }
        if (v.type() == JsonValue::Type::kObject) Object(schema, v, where, depth);
        if (v.type() == JsonValue::Type::kArray) {
            if (const JsonValue* items = schema.Get("items"))
                for (size_t i = 0; i < v.items().size(); ++i)
                    Check(*items, v.items()[i], where + "[" + std::to_string(i) + "]", depth + 1);
        }
    }

    std::vector<std::string> problems;

  private:
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
                if (!v.Get(key.text()))
                    problems.push_back(where + ": \"" + key.text() + "\" missing");
        const JsonValue* properties = schema.Get("properties");
        const JsonValue* additional = schema.Get("additionalProperties");
        for (const auto& [key, member] : v.members()) {
            const JsonValue* sub = properties ? properties->Get(key) : nullptr;
            if (sub) {
                Check(*sub, member, where + "." + key, depth + 1);
            } else if (additional && additional->type() == JsonValue::Type::kBool &&
                       !additional->boolean()) {
                problems.push_back(where + ": \"" + key + "\" is not allowed");
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
    return std::move(c.problems);
}
