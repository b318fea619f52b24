#include "i18n/LanguageTexts.h"

#include <sys/stat.h>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"

std::string LookupText(ProfileFile& document, std::string_view key, const std::string& def) {
    return document.GetString(key, def);
}

LanguageTexts::LanguageTexts(const std::string& path) : document_(false) {
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        (void)document_.Load(path);
}

std::string LanguageTexts::Text(std::string_view key) {
    return LookupText(document_, key, std::string(BuiltInText(key)));
}

std::u16string LanguageTexts::WText(std::string_view key) {
    return WideFromUtf8(Text(key));
}

std::map<std::string, std::string, std::less<>> LanguageTexts::MessageTexts() {
    std::map<std::string, std::string, std::less<>> texts;
    for (const LanguageKey& k : AllLanguageKeys())
        if (k.key.substr(0, kMessageKeyPrefix.size()) == kMessageKeyPrefix)
            texts.emplace(std::string(k.key), Text(k.key));
    return texts;
}
