#pragma once
// Which help page the Help command opens. The pages are HTML files next to the
// program, one per language, named "Kelvane_<Language>.html"; the language is
// the tag that the language file carries in its own name ("Kelvane_German.lng"
// gives "German").
#include <string>
#include <string_view>

// The tag of a language file path: in its file name (the text after the last
// "/" or "\"), the text after the last "_" that comes before the first ".".
// Empty when the name has no "_" before a ".", or no "." at all.
std::string HelpTagOfLanguageFile(std::string_view languageFile);

// programFolder ends with a separator. Returns programFolder + "Kelvane_<tag>.html"
// when that is an existing file (or a link to one), else the English page.
std::string ChooseHelpFile(const std::string& programFolder, std::string_view languageFile);
