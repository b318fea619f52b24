#pragma once
// The options dialog: block sizes, the free-space filler, the shred value, the
// keep and write-protection switches, the summary, verify, free space after a
// file run and reports, and the program font. It works on the
// window's settings fields and font holder, and changes them only on OK.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "config/OptionsRules.h"
#include "platform/qt/Dialog.h"

class CEdit;
class FontHolder;
class QCheckBox;
class QLabel;
class QPushButton;

class COptionsDlg final : public CDialog {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        IDC_SPACE_LEAVE_FILES = 1052,
        IDC_FILE_BLOCK_LABEL = 1053,
        IDC_FILE_BLOCK = 1054,
        IDC_SPACE_BLOCK_LABEL = 1055,
        IDC_FILE_BLOCK_RESET = 1056,
        IDC_SPACE_BLOCK = 1057,
        IDC_SPACE_BLOCK_RESET = 1058,
        IDC_SPACE_FILE_LABEL = 1059,
        IDC_SPACE_FILE = 1060,
        IDC_SPACE_FILE_RESET = 1061,
        IDC_SPACE_NAME_LABEL = 1062,
        IDC_SPACE_NAME = 1063,
        IDC_SPACE_NAME_RESET = 1064,
        IDC_FONT_LABEL = 1065,
        IDC_FONT = 1066,
        IDC_FONT_RESET = 1067,
        IDC_IGNORE_PROTECT = 1068,
        IDC_FILES_LEAVE_FILES = 1069,
        IDC_SHRED_VALUE_LABEL = 1070,
        IDC_SHRED_VALUE = 1071,
        IDC_SHRED_VALUE_PICK = 1072,
        IDC_SHRED_VALUE_RESET = 1073,
        IDC_FILES_LEAVE_FOLDERS = 1076,
        IDC_SHOW_SUMMARY = 1077,
        IDC_HIDE_SEEN_WARNINGS = 1078,
        IDC_VERIFY_LAST_PASS = 1079,
        IDC_REPORTS = 1080,
        IDC_REPORT_HIDE_NAMES = 1081,
        IDC_REPORT_FOLDER_LABEL = 1082,
        IDC_REPORT_FOLDER = 1083,
        IDC_REPORT_KEY_LABEL = 1084,
        IDC_REPORT_KEY = 1085,
        IDC_REPORT_ORGANISATION_LABEL = 1086,
        IDC_REPORT_ORGANISATION = 1087,
        IDC_REPORT_OPERATOR_LABEL = 1088,
        IDC_REPORT_OPERATOR = 1089,
        IDC_REPORT_CUSTOMER_LABEL = 1090,
        IDC_REPORT_CUSTOMER = 1091,
        IDC_FREE_SPACE_AFTER = 1092,
        IDC_KEEP_CHOSEN_FOLDERS = 1093,
        IDC_OK = 1,
        IDC_CANCEL = 2,
    };

    explicit COptionsDlg(QWidget* parent = nullptr);
    ~COptionsDlg() override;

    // UTF-8 path of the language file in use ("" for the built-in texts).
    void SetLanguageFile(const std::string& path) { languageFile_ = path; }

    // Shows the dialog modally on the window's font holder and settings; returns
    // IDOK or IDCANCEL.
    virtual int DoModal(FontHolder& fonts, const OptionsSettings& settings);
    // The same without running a loop of its own (tests, and DoModal itself):
    // binds the holder and the settings; show() then fills the dialog.
    void Prepare(FontHolder& fonts, const OptionsSettings& settings);

    QWidget* Control(int id) const;
    // The working copy of the font holder while the dialog is open.
    const FontHolder* WorkingFonts() const { return working_.get(); }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void ShowFontName(const QString& family);
    using CDialog::DoModal;
    void CreateControls();
    void ApplyTexts();
    void FillFields();
    OptionsFields ReadFields() const;
    void OnPickShredValue();
    void OnFont();
    void OnFontReset();
    void ShowWorkingFont();

    std::string languageFile_;
    FontHolder* fonts_ = nullptr;
    std::optional<OptionsSettings> settings_;
    std::unique_ptr<FontHolder> working_;
    std::u16string fileFilter_;
    std::u16string fontName_ = u"Font: %s. Choose another font";  // the font button's spoken name

    CEdit* fileBlock_ = nullptr;
    CEdit* spaceBlock_ = nullptr;
    CEdit* spaceFile_ = nullptr;
    CEdit* shredValue_ = nullptr;
    CEdit* spaceName_ = nullptr;
    QCheckBox* spaceLeaveFiles_ = nullptr;
    QCheckBox* filesLeaveFiles_ = nullptr;
    QCheckBox* filesLeaveFolders_ = nullptr;
    QCheckBox* keepChosenFolders_ = nullptr;
    QCheckBox* ignoreProtect_ = nullptr;
    QCheckBox* showSummary_ = nullptr;
    QCheckBox* hideSeenWarnings_ = nullptr;
    QCheckBox* verifyLastPass_ = nullptr;
    QCheckBox* freeSpaceAfter_ = nullptr;
    QCheckBox* reports_ = nullptr;
    QCheckBox* reportHideNames_ = nullptr;
    CEdit* reportFolder_ = nullptr;
    CEdit* reportKey_ = nullptr;
    CEdit* reportOrganisation_ = nullptr;
    CEdit* reportOperator_ = nullptr;
    CEdit* reportCustomer_ = nullptr;
    QPushButton* font_ = nullptr;
    std::map<int, QWidget*> controls_;
};
