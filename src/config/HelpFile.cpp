#include "config/HelpFile.h"

#include <sys/stat.h>

namespace {

constexpr std::string_view kHelpPrefix = "Kelvane_";
constexpr std::string_view kHelpExtension = ".html";
constexpr std::string_view kEnglishTag = "English";

bool IsExistingFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string HelpTagOfLanguageFile(std::string_view languageFile) {
    size_t slash = languageFile.find_last_of("/\\");
    std::string_view name =
        slash == std::string_view::npos ? languageFile : languageFile.substr(slash + 1);
    size_t tagStart = std::string_view::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '.') {
            if (tagStart == std::string_view::npos) return {};
            return std::string(name.substr(tagStart, i - tagStart));
        }
        if (name[i] == '_') tagStart = i + 1;
    }
    return {};
}

std::string ChooseHelpFile(const std::string& programFolder, std::string_view languageFile) {
    std::string candidate = programFolder;
    candidate += kHelpPrefix;
    candidate += HelpTagOfLanguageFile(languageFile);
    candidate += kHelpExtension;
    if (IsExistingFile(candidate)) return candidate;
    std::string english = programFolder;
    english += kHelpPrefix;
    english += kEnglishTag;
    english += kHelpExtension;
    return english;
}
