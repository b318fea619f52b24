#pragma once
// The language the terminal speaks: that of the locale (LC_ALL, then LC_MESSAGES,
// then LANG, the first one set), where a language file of it is shipped; "C" and
// "POSIX" mean the built-in English; otherwise the language chosen in the window.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

using TextLookupFn = std::function<std::u16string(std::string_view)>;

// The locale that decides the language of messages, as the C library takes it.
// `getenv` is the environment (std::getenv outside tests).
std::string MessagesLocale(const std::function<const char*(const char*)>& getenv);

struct LanguageFromLocale {
    enum class Kind {
        kNone,     // no locale, or one whose language is not shipped
        kBuiltIn,  // "C" or "POSIX": the built-in English
        kFile,     // `file` holds the locale's language
    };
    Kind kind = Kind::kNone;
    std::string file;
};

// `dataFolder` holds Kelvane_Languages.ini and ends with a separator.
LanguageFromLocale LanguageOfLocale(const std::string& dataFolder, std::string_view locale);

// The texts of a language file ("" for the built-in ones), read once.
TextLookupFn LanguageFileTexts(const std::string& file);

// The texts of the language the window would show: the list's default, then the
// one chosen in the settings (by its name) where the list has it.
TextLookupFn WindowLanguageTexts(const std::string& dataFolder, const std::string& chosen);
