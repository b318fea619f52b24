#pragma once
// The texts of one language file. A file that does not exist or cannot be read
// leaves the document empty, so every lookup gives its built-in text.
#include <map>
#include <string>
#include <string_view>

#include "config/ProfileFile.h"

// The value of `key` in `document`, or `def` when the key is missing or empty.
std::string LookupText(ProfileFile& document, std::string_view key, const std::string& def);

class LanguageTexts {
  public:
    LanguageTexts() : document_(false) {}
    // Reads the whole file at `path` (UTF-8 bytes); "" means the built-in texts.
    explicit LanguageTexts(const std::string& path);

    // UTF-8 text of the key, or its built-in text (LanguageKeys.h).
    std::string Text(std::string_view key);
    std::u16string WText(std::string_view key);

    // The main window's message texts ("FrmMain.m_acM..."), keyed by language key.
    std::map<std::string, std::string, std::less<>> MessageTexts();

  private:
    ProfileFile document_;
};
