#pragma once
// The language list "Kelvane_Languages.ini" next to the program: the default
// language and the name/file pairs, read up to the first pair with an empty part.
#include <string>
#include <vector>

struct LanguageEntry {
    std::string name;  // display name, UTF-8
    std::string file;  // file name relative to the program folder
};

class LanguageList {
  public:
    static constexpr const char* kFileName = "Kelvane_Languages.ini";

    // False when the list cannot be read; the list is then empty.
    bool Load(const std::string& listPath);

    const std::string& DefaultName() const { return defaultName_; }
    const std::vector<LanguageEntry>& Entries() const { return entries_; }

  private:
    std::string defaultName_;
    std::vector<LanguageEntry> entries_;
};

// What choosing a language by name at start-up comes to.
struct LanguagePick {
    enum class Kind {
        BuiltIn,   // no list: show the built-in texts
        Found,     // apply `file` (program folder + list entry) as language `name`
        NotFound,  // the list names no such language: change nothing
    };
    Kind kind = Kind::BuiltIn;
    std::string name;
    std::string file;
};

// `programFolder` ends with a separator; an empty `wanted` stands for the list's
// default language. Names compare exactly.
LanguagePick PickLanguageByName(const std::string& programFolder, const std::string& wanted);
