// Feeds arbitrary bytes to the language-file lookup and fills every text it yields
// with the program's arguments, as the window and the runs would.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ProfileFile.h"
#include "i18n/LanguageKeys.h"
#include "i18n/LanguageTexts.h"
#include "i18n/SafeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProfileFile document(false);
    document.SetText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const LanguageKey& k : AllLanguageKeys()) {
        const std::string text = LookupText(document, k.key, std::string(k.text));
        (void)FormatSpecifiers(text);
        (void)SafeFormat(text, {u"/some/path", 42, u'%', -7, 3u});
        (void)SafeFormat(text, {});
    }
    return 0;
}
