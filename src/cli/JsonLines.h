#pragma once
// The lines of --json: one object per line, keys in the order added. Texts are
// written printable (PrintableText: control characters and bytes that are not
// UTF-8 as \n, \xNN), so every line is valid UTF-8 and one line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonObject {
  public:
    JsonObject& Add(std::string_view key, std::u16string_view text);
    JsonObject& Add(std::string_view key, const char* text);
    JsonObject& Add(std::string_view key, int64_t number);
    JsonObject& Add(std::string_view key, int number) { return Add(key, int64_t{number}); }
    JsonObject& AddBool(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const std::vector<std::u16string>& texts);
    // A path: printable under `key`, and where that is not the name itself (an
    // escape was needed: a control character, a backslash, a byte that is not
    // UTF-8 ...) its exact bytes in base64 under `key`_base64 as well.
    JsonObject& AddPath(std::string_view key, std::u16string_view path);
    std::string Text() const { return "{" + body_ + "}"; }

  private:
    void Key(std::string_view key);
    std::string body_;
};

std::string JsonQuoted(std::string_view utf8);

// What a line of the run's log says, for the events of --json and the choice of
// what a terminal shows.
struct LogLineMeaning {
    enum class Kind { kOther, kEntry, kDrive, kTemporaryFile };
    Kind kind = Kind::kOther;
    std::u16string path;   // the entry, drive or temporary file
    std::string result;    // done, failed, removed, not-removed, kept, not-shredded
    bool failure = false;  // the line says something was not done
};

// `drives`: the drives of a free-space run, whose lines start with the drive.
LogLineMeaning MeaningOfLogLine(const std::u16string& line,
                                const std::vector<std::u16string>& drives);
