#pragma once
// Just enough JSON for the tests: a strict reader of one value, and a check of
// an event line against the required fields and types of the events' schema.
#include <map>
#include <memory>
#include <string>
#include <vector>

struct Json {
    enum class Type { kNull, kBool, kNumber, kString, kArray, kObject } type = Type::kNull;
    bool boolean = false;
    double number = 0;
    bool integer = false;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* Get(const std::string& key) const {
        auto it = members.find(key);
        return it == members.end() ? nullptr : &it->second;
    }
};

// False (with `error`) unless `text` is exactly one JSON value.
bool ParseJson(const std::string& text, Json& out, std::string& error);

// Empty when `line` is an object that names an event of `schema` and holds its
// required fields with their types and allowed values; else what is wrong.
std::string CheckEventLine(const Json& schema, const std::string& line);
