#include "i18n/LanguageList.h"

#include "config/ProfileFile.h"

bool LanguageList::Load(const std::string& listPath) {
    defaultName_.clear();
    entries_.clear();
    ProfileFile list(false);
    if (!list.Load(listPath)) return false;
    defaultName_ = list.GetString("LanguageDefault", "");
    // Names and files alternate through the document's cursor, so each step finds
    // the pair that follows the one before.
    std::string name = list.GetString("LanguageName", "");
    std::string file = list.GetString("LanguageFile", "");
    while (!name.empty() && !file.empty()) {
        entries_.push_back({name, file});
        name = list.GetNextString("LanguageName");
        file = list.GetNextString("LanguageFile");
    }
    return true;
}

LanguagePick PickLanguageByName(const std::string& programFolder, const std::string& wanted) {
    LanguageList list;
    LanguagePick pick;
    if (!list.Load(programFolder + LanguageList::kFileName)) return pick;  // built-in texts
    const std::string name = wanted.empty() ? list.DefaultName() : wanted;
    pick.kind = LanguagePick::Kind::NotFound;
    for (const LanguageEntry& e : list.Entries()) {
        if (e.name == name) {
            pick.kind = LanguagePick::Kind::Found;
            pick.name = e.name;
            pick.file = programFolder + e.file;
            break;
        }
    }
    return pick;
}
