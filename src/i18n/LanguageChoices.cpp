#include "i18n/LanguageChoices.h"

#include "i18n/LanguageList.h"

void LanguageChoices::Build(const std::string& listPath, const std::string& programFolder,
                            const std::string& currentFile) {
    names_.assign(1, kBuiltInName);
    files_.SetSize(1, 1);
    files_.SetCell(0, 0, "");
    selected_ = 0;

    LanguageList list;
    if (!list.Load(listPath)) return;
    bool ownEnglish = false;
    for (const LanguageEntry& e : list.Entries()) {
        const std::string path = programFolder + e.file;
        const int index = static_cast<int>(names_.size());
        names_.push_back(e.name);
        files_.AddRows(1);
        files_.SetCell(0, index, path);
        if (path == currentFile) selected_ = index;
        if (e.name == kBuiltInName) ownEnglish = true;
    }
    if (ownEnglish) {
        names_.erase(names_.begin());
        files_.DeleteRow(0);
        if (selected_ > 0) --selected_;
    }
}
