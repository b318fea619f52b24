#pragma once
// The language dialog: a drop-down list of the languages of the language list
// (and the built-in English unless the list has its own), shown in the language
// being chosen as soon as the selection changes.
#include <string>

#include "i18n/LanguageChoices.h"
#include "platform/qt/Dialog.h"

class QComboBox;
class QLabel;
class QPushButton;
class FontHolder;

class CLanguageDlg : public CDialog {
    Q_OBJECT
  public:
    enum : int { IDD = 136, IDC_CURRENT_LANGUAGE = 1080, IDC_LANGUAGE_LIST = 1081 };

    // `currentFile` and `currentName` are the language in use; they are also the
    // results until the user picks another entry. `fonts` may be null.
    CLanguageDlg(const std::string& listPath, const std::string& programFolder,
                 const std::string& currentFile, const std::string& currentName, FontHolder* fonts,
                 QWidget* parent = nullptr);

    const std::string& ChosenFile() const { return chosenFile_; }
    const std::string& ChosenName() const { return chosenName_; }

    // Its own four texts from a language file ("" or a missing file: built-in).
    void ApplyDialogTexts(const std::string& languageFile);

    QComboBox* LanguageList() const { return combo_; }
    QLabel* CurrentLanguageLabel() const { return label_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    void OnSelectionChange(int index);

    std::string listPath_;
    std::string programFolder_;
    std::string currentFile_;
    std::string chosenFile_;
    std::string chosenName_;
    FontHolder* fonts_;
    LanguageChoices choices_;
    QComboBox* combo_ = nullptr;
    QLabel* label_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
