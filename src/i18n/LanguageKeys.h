#pragma once
// Every language key the program shows, with its built-in English text. A key that
// a language file lacks, or holds empty, shows this text instead.
#include <string_view>
#include <vector>

struct LanguageKey {
    std::string_view key;
    std::string_view text;
};

// All keys: "FrmMain" in the order the main window applies them, then "FrmLanguage",
// "FrmDrive", "FrmOptions", "FrmAbout" and "FrmLogView" (the log viewer).
const std::vector<LanguageKey>& AllLanguageKeys();

// The built-in text of a key; empty for a key the program does not know.
std::string_view BuiltInText(std::string_view key);

// Keys of the main window's message texts start with this.
inline constexpr std::string_view kMessageKeyPrefix = "FrmMain.m_acM";
