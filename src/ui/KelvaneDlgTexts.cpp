// Captions of the main window and its built-in texts. ApplyTexts is the one place
// that sets every caption, so a language can be applied by setting the lookup and
// calling it again.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <map>
#include <memory>

#include "config/TextConv.h"
#include "i18n/LanguageKeys.h"
#include "i18n/LanguageList.h"
#include "i18n/LanguageLocale.h"
#include "i18n/LanguageTexts.h"
#include "platform/qt/QtText.h"
#include "ui/Accessibility.h"
#include "ui/KelvaneDlg.h"
#include "ui/LanguageDlg.h"
#include "ui/MainFileList.h"
#include "ui/MainRunFace.h"
#include "ui/QtTranslations.h"

namespace {

// Qt shows the text after a tab as the shortcut column of a menu item, as the
// texts expect, and "&" marks the mnemonic as it does in the language files.
QString MenuText(const std::u16string& text) {
    return ToQ(text);
}

}  // namespace

std::u16string CKelvaneDlg::DefaultText(std::string_view key) {
    return WideFromUtf8(BuiltInText(key));
}

std::u16string CKelvaneDlg::Text(std::string_view key) const {
    if (lookup_) {
        std::u16string t = lookup_(key);
        if (!t.empty()) return t;
    }
    return DefaultText(key);
}

void CKelvaneDlg::ApplyTexts() {
    // Columns: headers and widths (scaled above 96 dots per inch).
    double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    double scale = dpi > 96.0 ? dpi / 96.0 : 1.0;
    listView_->ApplyTexts(scale);

    auto setText = [this](int id, std::string_view key) {
        QWidget* w = Control(id);
        QString t = ToQ(Text(key));
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(t);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(t);
        }
    };
    setText(IDC_STOP, "FrmMain.m_BTNStop");
    setText(IDC_ADD, "FrmMain.m_BTNAdd");
    setText(IDC_ADD_FOLDER, "FrmMain.m_BTNAddFolder");
    setText(IDC_REMOVE, "FrmMain.m_BTNRemove");
    setText(IDC_CLEAR, "FrmMain.m_BTNClear");
    options_->ApplyTexts();

    setText(IDC_SHRED, "FrmMain.m_BTNShred");
    setText(IDC_SHRED_FREE, "FrmMain.m_BTNShredDisk");

    popups_[0]->setTitle(MenuText(Text("FrmMain.MenFile")));
    popups_[1]->setTitle(MenuText(Text("FrmMain.MenEdit")));
    popups_[2]->setTitle(MenuText(Text("FrmMain.MenView")));
    const std::pair<int, const char*> items[] = {
        {ID_VIEW_LOG, "FrmMain.MenLog"},
        {ID_REPORTS, "FrmMain.MenReports"},
        {ID_VERIFY_REPORT, "FrmMain.MenVerifyReport"},
        {ID_SCHEDULE, "FrmMain.MenSchedule"},
        {ID_ENABLE_LOG, "FrmMain.MenEnableLog"},
        {ID_ARCHIVE_LOG, "FrmMain.MenArchiveLog"},
        {ID_CLEAR_LOG, "FrmMain.MenClearLog"},
        {ID_EXIT, "FrmMain.MenExit"},
        {ID_ADD_FILES, "FrmMain.MenAdd"},
        {ID_ADD_FOLDER, "FrmMain.MenAddFolder"},
        {ID_ADD_TRASH, "FrmMain.MenAddTrash"},
        {ID_REMOVE_SELECTED, "FrmMain.MenRemove"},
        {ID_CLEAR_LIST, "FrmMain.MenClear"},
        {ID_UNDO_REMOVE, "FrmMain.MenUndoRemove"},
        {ID_SELECT_ALL, "FrmMain.MenSelectAll"},
        {ID_INVERT_SELECTION, "FrmMain.MenInvert"},
        {ID_OPTIONS, "FrmMain.MenOptions"},
        {ID_LANGUAGE, "FrmMain.MenLanguage"},
        {ID_HELP, "FrmMain.MenHelp"},
        {ID_INFO, "FrmMain.MenInfo"},
        {ID_CHANGES, "FrmMain.MenReadMe"},
        {ID_LICENSE, "FrmMain.MenLicense"},
        {ID_CHECK_UPDATE, "FrmMain.MenCheckUpdate"},
        {ID_SORT_NAME, "FrmMain.MenSortName"},
        {ID_SORT_SIZE, "FrmMain.MenSortSize"},
        {ID_SORT_DATE, "FrmMain.MenSortDate"},
    };
    for (const auto& [id, key] : items)
        if (QAction* a = MenuAction(id)) a->setText(MenuText(Text(key)));

    const std::pair<int, const char*> hints[] = {
        {IDC_ADD, "FrmMain.m_BTNAddHint"},       {IDC_ADD_FOLDER, "FrmMain.m_BTNAddFolderHint"},
        {IDC_REMOVE, "FrmMain.m_BTNRemoveHint"}, {IDC_CLEAR, "FrmMain.m_BTNClearHint"},
        {IDC_SHRED, "FrmMain.m_BTNShredHint"},   {IDC_SHRED_FREE, "FrmMain.m_BTNShredDiskHint"},
    };
    for (const auto& [id, key] : hints) Control(id)->setToolTip(ToQ(Text(key)));

    // The busy indicator is named so that its changing digits are not read.
    Control(IDC_INDICATOR)->setAccessibleName(ToQ(Text("FrmMain.m_ACCIndicator")));
    Control(IDC_PROGRESS)->setAccessibleName(ToQ(Text("FrmMain.m_ACCProgress")));
    // The status line in the new language too, not only from its next update on.
    if (face_) face_->Retranslate();
    menuBar_->update();
    FitControls();  // another language, other widths
}

// The window's language: choosing it from the language list, applying the texts of
// a language file, and the Language command.
void CKelvaneDlg::ApplyLanguageByName(const std::string& name) {
    const LanguagePick pick = PickLanguageByName(DataFolder(), name);
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
    // Qt's own dialogs in the same language, where the system has Qt's translations.
    if (!qtTranslations_) qtTranslations_ = std::make_unique<QtTranslations>();
    (void)qtTranslations_->Use(QString::fromStdString(LocaleOfLanguageFile(languageFile)));
    ApplyTexts();
}

void CKelvaneDlg::OnLanguage() {
    CLanguageDlg dlg(DataFolder() + LanguageList::kFileName, DataFolder(), languageFile_,
                     languageName_, fonts_.get(), this);
    if (dlg.DoModal() == IDCANCEL) return;
    languageFile_ = dlg.ChosenFile();
    ApplyLanguageTexts(languageFile_);
    SetLanguageName(dlg.ChosenName(), true);
    update();
    menuBar_->update();
}
