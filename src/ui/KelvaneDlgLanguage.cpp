// The window's language: choosing it from the language list, applying the texts of
// a language file, and the Language command.
#include <QMenuBar>
#include <memory>

#include "i18n/LanguageKeys.h"
#include "i18n/LanguageList.h"
#include "i18n/LanguageTexts.h"
#include "ui/KelvaneDlg.h"
#include "ui/LanguageDlg.h"

void CKelvaneDlg::ApplyLanguageByName(const std::string& name) {
    const LanguagePick pick = PickLanguageByName(ProgramFolder(), name);
    switch (pick.kind) {
        case LanguagePick::Kind::BuiltIn:
            ApplyLanguageTexts("");
            break;
        case LanguagePick::Kind::Found:
            languageFile_ = pick.file;
            languageName_ = pick.name;
            ApplyLanguageTexts(languageFile_);
            break;
        case LanguagePick::Kind::NotFound:
            // The texts applied before stay.
            break;
    }
}

void CKelvaneDlg::ApplyLanguageTexts(const std::string& languageFile) {
    // The file is read once; the window keeps the texts, not the file.
    LanguageTexts file(languageFile);
    auto texts = std::make_shared<std::map<std::string, std::u16string, std::less<>>>();
    for (const LanguageKey& k : AllLanguageKeys())
        texts->emplace(std::string(k.key), file.WText(k.key));
    SetTextLookup([texts](std::string_view key) {
        auto it = texts->find(key);
        return it == texts->end() ? std::u16string() : it->second;
    });
    ApplyTexts();
}

void CKelvaneDlg::OnLanguage() {
    CLanguageDlg dlg(ProgramFolder() + LanguageList::kFileName, ProgramFolder(), languageFile_,
                     languageName_, fonts_.get(), this);
    if (dlg.DoModal() == IDCANCEL) return;
    languageFile_ = dlg.ChosenFile();
    ApplyLanguageTexts(languageFile_);
    SetLanguageName(dlg.ChosenName(), true);
    update();
    menuBar_->update();
}
