#include "cli/CliLanguage.h"

#include <map>

#include "i18n/LanguageKeys.h"
#include "i18n/LanguageList.h"
#include "i18n/LanguageLocale.h"
#include "i18n/LanguageTexts.h"

std::string MessagesLocale(const std::function<const char*(const char*)>& getenv) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value) return value;
    }
    return {};
}

LanguageFromLocale LanguageOfLocale(const std::string& dataFolder, std::string_view locale) {
    LanguageFromLocale out;
    // "de_DE.UTF-8@euro": language and territory, without encoding and modifier.
    const std::string_view named = locale.substr(0, locale.find_first_of(".@"));
    if (named.empty()) return out;
    if (named == "C" || named == "POSIX") {
        out.kind = LanguageFromLocale::Kind::kBuiltIn;
        return out;
    }
    const std::string_view language = named.substr(0, named.find('_'));
    LanguageList list;
    if (!list.Load(dataFolder + LanguageList::kFileName)) return out;
    for (const LanguageEntry& e : list.Entries()) {
        const std::string code = LocaleOfLanguageFile(e.file);
        // "zh_CN" wants its territory too; "de" takes every German locale.
        const bool match = code.find('_') != std::string::npos ? named == code : language == code;
        if (match && !code.empty()) {
            out.kind = LanguageFromLocale::Kind::kFile;
            out.file = dataFolder + e.file;
            return out;
        }
    }
    return out;
}

TextLookupFn LanguageFileTexts(const std::string& file) {
    using TextMap = std::map<std::string, std::u16string, std::less<>>;
    LanguageTexts texts(file);
    auto map = std::make_shared<TextMap>();
    for (const LanguageKey& k : AllLanguageKeys())
        map->emplace(std::string(k.key), texts.WText(k.key));
    return [map](std::string_view key) {
        auto it = map->find(key);
        return it == map->end() ? std::u16string() : it->second;
    };
}

TextLookupFn WindowLanguageTexts(const std::string& dataFolder, const std::string& chosen) {
    std::string file;
    const LanguagePick fallback = PickLanguageByName(dataFolder, "");
    if (fallback.kind == LanguagePick::Kind::Found) file = fallback.file;
    if (!chosen.empty()) {
        const LanguagePick pick = PickLanguageByName(dataFolder, chosen);
        if (pick.kind == LanguagePick::Kind::Found) file = pick.file;
    }
    return LanguageFileTexts(file);
}
