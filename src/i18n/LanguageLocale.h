#pragma once
// The locale code ("de", "fr") of a language file, from the tag in its name
// ("Kelvane_German.lng" -> "German" -> "de"), for the texts the program takes from
// elsewhere (the toolkit's own dialogs).
#include <string>
#include <string_view>

// "" for the built-in texts (an empty path) and for a tag the table does not know.
std::string LocaleOfLanguageFile(std::string_view languageFile);
