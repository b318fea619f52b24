#include "ui/OptionsDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/DialogFilter.h"
#include "i18n/LanguageTexts.h"
#include "i18n/SafeFormat.h"
#include "platform/qt/Edit.h"
#include "platform/qt/QtText.h"
#include "ui/Accessibility.h"
#include "ui/FileDialogs.h"
#include "ui/FontHolder.h"
#include "ui/ThemeColours.h"

namespace {

// What each reset button puts into its field.
constexpr std::u16string_view kResetFileBlock = u"102400";
constexpr std::u16string_view kResetSpaceBlock = u"524288";
constexpr std::u16string_view kResetSpaceFile = u"1073741824";
constexpr std::u16string_view kResetShredValue = u"0";
constexpr std::u16string_view kResetSpaceName = u"Morvik.$$$temp$$$";

struct LabelKey {
    int id;
    const char* key;
};

constexpr LabelKey kLabels[] = {
    {COptionsDlg::IDC_FILE_BLOCK_LABEL, "FrmOptions.m_LBLFileBlockSize"},
    {COptionsDlg::IDC_SPACE_BLOCK_LABEL, "FrmOptions.m_LBLSpaceBlockSize"},
    {COptionsDlg::IDC_SPACE_FILE_LABEL, "FrmOptions.m_LBLSpaceFileBlockSize"},
    {COptionsDlg::IDC_SHRED_VALUE_LABEL, "FrmOptions.m_LBLShredValue"},
    {COptionsDlg::IDC_SPACE_NAME_LABEL, "FrmOptions.m_LBLSpaceFileName"},
    {COptionsDlg::IDC_SPACE_LEAVE_FILES, "FrmOptions.m_CHKSpaceLeaveFiles"},
    {COptionsDlg::IDC_FILES_LEAVE_FILES, "FrmOptions.m_CHKFilesLeaveFiles"},
    {COptionsDlg::IDC_FILES_LEAVE_FOLDERS, "FrmOptions.m_CHKFilesLeaveFolders"},
    {COptionsDlg::IDC_KEEP_CHOSEN_FOLDERS, "FrmOptions.m_CHKKeepChosenFolders"},
    {COptionsDlg::IDC_IGNORE_PROTECT, "FrmOptions.m_CHKIgnoreWriteProtect"},
    {COptionsDlg::IDC_SHOW_SUMMARY, "FrmOptions.m_CHKShowSummary"},
    {COptionsDlg::IDC_HIDE_SEEN_WARNINGS, "FrmOptions.m_CHKHideSeenWarnings"},
    {COptionsDlg::IDC_VERIFY_LAST_PASS, "FrmOptions.m_CHKVerifyLastPass"},
    // The same choice the summary offers before a file run.
    {COptionsDlg::IDC_FREE_SPACE_AFTER, "FrmSummary.m_CHKFreeSpaceAfter"},
    {COptionsDlg::IDC_REPORTS, "FrmOptions.m_CHKReports"},
    {COptionsDlg::IDC_REPORT_HIDE_NAMES, "FrmOptions.m_CHKReportHideNames"},
    {COptionsDlg::IDC_REPORT_FOLDER_LABEL, "FrmOptions.m_LBLReportFolder"},
    {COptionsDlg::IDC_REPORT_KEY_LABEL, "FrmOptions.m_LBLReportKeyFile"},
    {COptionsDlg::IDC_REPORT_ORGANISATION_LABEL, "FrmOptions.m_LBLReportOrganisation"},
    {COptionsDlg::IDC_REPORT_OPERATOR_LABEL, "FrmOptions.m_LBLReportOperator"},
    {COptionsDlg::IDC_REPORT_CUSTOMER_LABEL, "FrmOptions.m_LBLReportCustomer"},
    {COptionsDlg::IDC_FONT_LABEL, "FrmOptions.m_LBLFont"},
    {COptionsDlg::IDC_OK, "FrmOptions.m_BTNOk"},
    {COptionsDlg::IDC_CANCEL, "FrmOptions.m_BTNCancel"},
};

constexpr int kResetButtons[] = {
    COptionsDlg::IDC_FILE_BLOCK_RESET, COptionsDlg::IDC_SPACE_BLOCK_RESET,
    COptionsDlg::IDC_SPACE_FILE_RESET, COptionsDlg::IDC_SHRED_VALUE_RESET,
    COptionsDlg::IDC_SPACE_NAME_RESET, COptionsDlg::IDC_FONT_RESET,
};

}  // namespace

COptionsDlg::COptionsDlg(QWidget* parent) : CDialog(parent) {
    setObjectName(QStringLiteral("OptionsDlg"));
    setWindowTitle(QStringLiteral("Options"));
    UsePanelColours(this);
    CreateControls();
}

COptionsDlg::~COptionsDlg() = default;

QWidget* COptionsDlg::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void COptionsDlg::CreateControls() {
    auto label = [this](int id) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("ctl%1").arg(id));
        controls_[id] = l;
        return l;
    };
    auto edit = [this](int id) {
        auto* e = new CEdit(this);
        e->setObjectName(QStringLiteral("ctl%1").arg(id));
        e->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 14);
        controls_[id] = e;
        return e;
    };
    auto button = [this](int id, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QStringLiteral("ctl%1").arg(id));
        b->setAutoDefault(false);
        controls_[id] = b;
        return b;
    };
    auto small = [&](int id, const QString& text) {
        QPushButton* b = button(id, text);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("<<<<")) + 8);
        return b;
    };
    auto check = [this](int id) {
        auto* c = new QCheckBox(this);
        c->setObjectName(QStringLiteral("ctl%1").arg(id));
        controls_[id] = c;
        return c;
    };

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    int row = 0;
    auto addRow = [&](int labelId, QWidget* field, QWidget* extra, QPushButton* reset) {
        QLabel* caption = label(labelId);
        caption->setBuddy(field);  // its mnemonic reaches the field
        grid->addWidget(caption, row, 0);
        if (extra) {
            auto* pair = new QHBoxLayout;
            pair->setSpacing(4);
            pair->addWidget(field, 1);
            pair->addWidget(extra);
            grid->addLayout(pair, row, 1);
        } else {
            grid->addWidget(field, row, 1);
        }
        grid->addWidget(reset, row, 2);
        ++row;
    };
    fileBlock_ = edit(IDC_FILE_BLOCK);
    addRow(IDC_FILE_BLOCK_LABEL, fileBlock_, nullptr, small(IDC_FILE_BLOCK_RESET, "<"));
    spaceBlock_ = edit(IDC_SPACE_BLOCK);
    addRow(IDC_SPACE_BLOCK_LABEL, spaceBlock_, nullptr, small(IDC_SPACE_BLOCK_RESET, "<"));
    spaceFile_ = edit(IDC_SPACE_FILE);
    addRow(IDC_SPACE_FILE_LABEL, spaceFile_, nullptr, small(IDC_SPACE_FILE_RESET, "<"));
    shredValue_ = edit(IDC_SHRED_VALUE);
    addRow(IDC_SHRED_VALUE_LABEL, shredValue_, small(IDC_SHRED_VALUE_PICK, "..."),
           small(IDC_SHRED_VALUE_RESET, "<"));
    spaceName_ = edit(IDC_SPACE_NAME);
    addRow(IDC_SPACE_NAME_LABEL, spaceName_, nullptr, small(IDC_SPACE_NAME_RESET, "<"));
    font_ = button(IDC_FONT, QString());
    addRow(IDC_FONT_LABEL, font_, nullptr, small(IDC_FONT_RESET, "<"));

    spaceLeaveFiles_ = check(IDC_SPACE_LEAVE_FILES);
    filesLeaveFiles_ = check(IDC_FILES_LEAVE_FILES);
    filesLeaveFolders_ = check(IDC_FILES_LEAVE_FOLDERS);
    keepChosenFolders_ = check(IDC_KEEP_CHOSEN_FOLDERS);
    ignoreProtect_ = check(IDC_IGNORE_PROTECT);
    showSummary_ = check(IDC_SHOW_SUMMARY);
    hideSeenWarnings_ = check(IDC_HIDE_SEEN_WARNINGS);
    verifyLastPass_ = check(IDC_VERIFY_LAST_PASS);
    freeSpaceAfter_ = check(IDC_FREE_SPACE_AFTER);
    reports_ = check(IDC_REPORTS);
    reportHideNames_ = check(IDC_REPORT_HIDE_NAMES);
    // The report's fields: where it goes, who signs it, whom it names.
    auto* reportGrid = new QGridLayout;
    reportGrid->setColumnStretch(1, 1);
    int reportRow = 0;
    auto reportField = [&](int labelId, int editId) {
        CEdit* field = edit(editId);
        QLabel* caption = label(labelId);
        caption->setBuddy(field);
        reportGrid->addWidget(caption, reportRow, 0);
        reportGrid->addWidget(field, reportRow++, 1);
        return field;
    };
    reportFolder_ = reportField(IDC_REPORT_FOLDER_LABEL, IDC_REPORT_FOLDER);
    reportKey_ = reportField(IDC_REPORT_KEY_LABEL, IDC_REPORT_KEY);
    reportOrganisation_ = reportField(IDC_REPORT_ORGANISATION_LABEL, IDC_REPORT_ORGANISATION);
    reportOperator_ = reportField(IDC_REPORT_OPERATOR_LABEL, IDC_REPORT_OPERATOR);
    reportCustomer_ = reportField(IDC_REPORT_CUSTOMER_LABEL, IDC_REPORT_CUSTOMER);

    QPushButton* ok = button(IDC_OK, QStringLiteral("OK"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    QPushButton* cancel = button(IDC_CANCEL, QStringLiteral("Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(6);
    for (QCheckBox* c : {spaceLeaveFiles_, filesLeaveFiles_, filesLeaveFolders_, keepChosenFolders_,
                         ignoreProtect_, showSummary_, hideSeenWarnings_, verifyLastPass_,
                         freeSpaceAfter_, reports_, reportHideNames_})
        top->addWidget(c);
    top->addLayout(reportGrid);
    top->addStretch(1);
    top->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    auto reset = [this](int id, CEdit* field, std::u16string_view text) {
        connect(static_cast<QPushButton*>(controls_[id]), &QPushButton::clicked, this,
                [field, text] { field->SetWindowText(std::u16string(text)); });
    };
    reset(IDC_FILE_BLOCK_RESET, fileBlock_, kResetFileBlock);
    reset(IDC_SPACE_BLOCK_RESET, spaceBlock_, kResetSpaceBlock);
    reset(IDC_SPACE_FILE_RESET, spaceFile_, kResetSpaceFile);
    reset(IDC_SHRED_VALUE_RESET, shredValue_, kResetShredValue);
    reset(IDC_SPACE_NAME_RESET, spaceName_, kResetSpaceName);
    connect(static_cast<QPushButton*>(controls_[IDC_SHRED_VALUE_PICK]), &QPushButton::clicked, this,
            [this] { OnPickShredValue(); });
    connect(font_, &QPushButton::clicked, this, [this] { OnFont(); });
    connect(static_cast<QPushButton*>(controls_[IDC_FONT_RESET]), &QPushButton::clicked, this,
            [this] { OnFontReset(); });
}

void COptionsDlg::Prepare(FontHolder& fonts, const OptionsSettings& settings) {
    fonts_ = &fonts;
    settings_.emplace(settings);
}

int COptionsDlg::DoModal(FontHolder& fonts, const OptionsSettings& settings) {
    Prepare(fonts, settings);
    return CDialog::DoModal();
}

bool COptionsDlg::OnInitDialog() {
    if (fonts_) fonts_->Apply(this, true);
    ApplyTexts();
    FillFields();
    if (fonts_) {
        ShowFontName(fonts_->FaceName());
        working_ = std::make_unique<FontHolder>(this);
        fonts_->CopyTo(*working_);
        working_->Apply(this, true);
    }
    return true;
}

void COptionsDlg::ApplyTexts() {
    // A missing language file gives every text its built-in default.
    LanguageTexts texts(languageFile_);
    setWindowTitle(ToQ(texts.WText("FrmOptions.Caption")));
    for (const LabelKey& l : kLabels) {
        const QString text = ToQ(texts.WText(l.key));
        QWidget* w = controls_[l.id];
        if (auto* label = qobject_cast<QLabel*>(w)) label->setText(text);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(text);
    }
    const QString resetTip = ToQ(texts.WText("FrmOptions.m_BTNFileBlockSizeReset"));
    for (int id : kResetButtons) controls_[id]->setToolTip(resetTip);
    const QString pick = ToQ(texts.WText("FrmOptions.m_BTNShredValue"));
    controls_[IDC_SHRED_VALUE_PICK]->setToolTip(pick);
    // The symbol buttons are read by what they do and to which field.
    controls_[IDC_SHRED_VALUE_PICK]->setAccessibleName(pick);
    const std::pair<int, int> resetOf[] = {
        {IDC_FILE_BLOCK_RESET, IDC_FILE_BLOCK_LABEL},
        {IDC_SPACE_BLOCK_RESET, IDC_SPACE_BLOCK_LABEL},
        {IDC_SPACE_FILE_RESET, IDC_SPACE_FILE_LABEL},
        {IDC_SHRED_VALUE_RESET, IDC_SHRED_VALUE_LABEL},
        {IDC_SPACE_NAME_RESET, IDC_SPACE_NAME_LABEL},
        {IDC_FONT_RESET, IDC_FONT_LABEL},
    };
    for (const auto& [reset, label] : resetOf) {
        const QString field = SpokenCaption(static_cast<QLabel*>(controls_[label])->text());
        controls_[reset]->setAccessibleName(
            ToQ(SafeFormat(texts.WText("FrmOptions.m_ACCReset"), {FromQ(field)})));
    }
    fileFilter_ = texts.WText("FrmOptions.m_acMSelectFileDlg");
    fontName_ = texts.WText("FrmOptions.m_ACCFontButton");
    if (font_) ShowFontName(font_->text());
}

// The button shows the font's name; a reader hears what the button is for too.
void COptionsDlg::ShowFontName(const QString& family) {
    font_->setText(family);
    font_->setAccessibleName(ToQ(SafeFormat(fontName_, {FromQ(family)})));
}

void COptionsDlg::FillFields() {
    if (!settings_) return;
    const OptionsFields f = OptionsFieldsOf(*settings_);
    fileBlock_->SetWindowText(f.shredBlockSize);
    spaceBlock_->SetWindowText(f.diskShredBlockSize);
    spaceFile_->SetWindowText(f.diskShredFileSize);
    shredValue_->SetWindowText(f.shredValue);
    spaceName_->SetWindowText(f.diskShredFileName);
    // Long paths show their beginning, where the folders are.
    for (CEdit* e : {fileBlock_, spaceBlock_, spaceFile_, shredValue_, spaceName_})
        e->setCursorPosition(0);
    spaceLeaveFiles_->setChecked(f.diskShredLeaveFiles);
    filesLeaveFiles_->setChecked(f.fileShredLeaveFiles);
    filesLeaveFolders_->setChecked(f.fileShredFileShred);
    keepChosenFolders_->setChecked(f.keepChosenFolders);
    ignoreProtect_->setChecked(f.ignoreProtect);
    showSummary_->setChecked(f.showSummary);
    hideSeenWarnings_->setChecked(f.hideSeenWarnings);
    verifyLastPass_->setChecked(f.verifyLastPass);
    freeSpaceAfter_->setChecked(f.freeSpaceAfter);
    reports_->setChecked(f.reportsOn);
    reportHideNames_->setChecked(f.reportHideNames);
    reportFolder_->SetWindowText(f.reportFolder);
    reportKey_->SetWindowText(f.reportKeyFile);
    reportOrganisation_->SetWindowText(f.reportOrganisation);
    reportOperator_->SetWindowText(f.reportOperator);
    reportCustomer_->SetWindowText(f.reportCustomer);
}

OptionsFields COptionsDlg::ReadFields() const {
    OptionsFields f;
    f.shredBlockSize = fileBlock_->GetWindowText();
    f.diskShredBlockSize = spaceBlock_->GetWindowText();
    f.diskShredFileSize = spaceFile_->GetWindowText();
    f.shredValue = shredValue_->GetWindowText();
    f.diskShredFileName = spaceName_->GetWindowText();
    f.diskShredLeaveFiles = spaceLeaveFiles_->isChecked();
    f.fileShredLeaveFiles = filesLeaveFiles_->isChecked();
    f.fileShredFileShred = filesLeaveFolders_->isChecked();
    f.keepChosenFolders = keepChosenFolders_->isChecked();
    f.ignoreProtect = ignoreProtect_->isChecked();
    f.showSummary = showSummary_->isChecked();
    f.hideSeenWarnings = hideSeenWarnings_->isChecked();
    f.verifyLastPass = verifyLastPass_->isChecked();
    f.freeSpaceAfter = freeSpaceAfter_->isChecked();
    f.reportsOn = reports_->isChecked();
    f.reportHideNames = reportHideNames_->isChecked();
    f.reportFolder = reportFolder_->GetWindowText();
    f.reportKeyFile = reportKey_->GetWindowText();
    f.reportOrganisation = reportOrganisation_->GetWindowText();
    f.reportOperator = reportOperator_->GetWindowText();
    f.reportCustomer = reportCustomer_->GetWindowText();
    return f;
}

void COptionsDlg::OnPickShredValue() {
    const QStringList chosen =
        FileDialogs::OpenFiles(this, QString(), QString(), ToQ(DialogFilterFromText(fileFilter_)));
    // Several files may be ticked in the dialog; the value holds one pattern file.
    if (!chosen.isEmpty()) shredValue_->SetWindowText(FromQ(chosen.front()));
}

void COptionsDlg::OnFont() {
    if (!working_ || !fonts_) return;
    QFont font = working_->EffectiveFont().AppliedTo(this->font(), true);
    if (!FileDialogs::ChooseFont(this, QString(), font)) return;
    FontAttributes chosen = FontAttributes::FromQFont(font);
    // A height equal to the window's own keeps following the window, so a later
    // change of the system font size still reaches the program.
    working_->useFontHeight = chosen.height != fonts_->BuiltInFont().height;
    if (!working_->useFontHeight) chosen.height = working_->BuiltInFont().height;
    working_->SetEffectiveFont(chosen);
    ShowFontName(font.family());
    working_->Apply(this, true);
    update();
}

void COptionsDlg::OnFontReset() {
    if (!working_) return;
    working_->useFontHeight = false;
    working_->Rebuild();
    ShowWorkingFont();
    working_->Apply(this, true);
    update();
}

void COptionsDlg::ShowWorkingFont() {
    ShowFontName(working_->FaceName());
}

void COptionsDlg::OnOK() {
    if (settings_) StoreOptions(ReadFields(), *settings_);
    if (working_ && fonts_) working_->CopyTo(*fonts_);
    working_.reset();
    EndDialog(IDOK);
}

void COptionsDlg::OnCancel() {
    working_.reset();
    EndDialog(IDCANCEL);
}
