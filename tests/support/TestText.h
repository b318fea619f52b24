#pragma once
// Small text builders shared by the tests: settings files and UTF-16 log bytes.
#include <string>

// A settings file in the program's XML form around `body`.
std::string SettingsXml(const std::string& body);
// One entry line of such a file.
std::string SettingsEntry(const std::string& key, const std::string& value);
// The UTF-16LE bytes of an ASCII text, as the log holds it.
std::string Le(const std::string& ascii);
// The UTF-8 text of UTF-16LE bytes (a log file's contents).
std::string Utf8FromLe(const std::string& bytes);
// Whether UTF-16LE bytes are well formed: an even count, every surrogate paired.
bool IsWellFormedUtf16Le(const std::string& bytes);
