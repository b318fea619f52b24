#pragma once
// What the language dialog offers: the built-in English entry (unless the list has
// its own "English"), the list's languages, the file of each entry and the entry
// of the language in use.
#include <string>
#include <vector>

#include "filelist/StringTable.h"

class LanguageChoices {
  public:
    static constexpr const char* kBuiltInName = "English";

    // `currentFile` is the full path of the language file in use ("" for built-in).
    void Build(const std::string& listPath, const std::string& programFolder,
               const std::string& currentFile);

    const std::vector<std::string>& Names() const { return names_; }  // UTF-8
    int Selected() const { return selected_; }
    // Full path of the entry's language file; "" for the built-in texts.
    std::string FileAt(int index) const { return files_.GetCell(0, index); }
    const StringTable& Files() const { return files_; }

  private:
    std::vector<std::string> names_;
    StringTable files_;
    int selected_ = 0;
};
