#include "i18n/LanguageLocale.h"

#include <utility>

#include "config/HelpFile.h"

std::string LocaleOfLanguageFile(std::string_view languageFile) {
    static const std::pair<std::string_view, std::string_view> kLocales[] = {
        {"English", "en"},   {"German", "de"},    {"French", "fr"},    {"Spanish", "es"},
        {"Italian", "it"},   {"Dutch", "nl"},     {"Polish", "pl"},    {"Portuguese", "pt"},
        {"Russian", "ru"},   {"Czech", "cs"},     {"Danish", "da"},    {"Swedish", "sv"},
        {"Finnish", "fi"},   {"Norwegian", "nb"}, {"Hungarian", "hu"}, {"Turkish", "tr"},
        {"Ukrainian", "uk"}, {"Japanese", "ja"},  {"Korean", "ko"},    {"Chinese", "zh_CN"},
    };
    if (languageFile.empty()) return {};
    const std::string tag = HelpTagOfLanguageFile(languageFile);
    for (const auto& [name, locale] : kLocales)
        if (tag == name) return std::string(locale);
    return {};
}
