#include "ui/LanguageDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "config/TextConv.h"
#include "i18n/LanguageTexts.h"
#include "platform/qt/QtText.h"
#include "ui/FontHolder.h"

CLanguageDlg::CLanguageDlg(const std::string& listPath, const std::string& programFolder,
                           const std::string& currentFile, const std::string& currentName,
                           FontHolder* fonts, QWidget* parent)
    : CDialog(parent),
      listPath_(listPath),
      programFolder_(programFolder),
      currentFile_(currentFile),
      chosenFile_(currentFile),
      chosenName_(currentName),
      fonts_(fonts) {
    setWindowTitle(QStringLiteral("Language"));
    label_ = new QLabel(QStringLiteral("Current language:"), this);
    label_->setObjectName(QStringLiteral("1080"));
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("1081"));
    combo_->setMinimumWidth(180);
    label_->setBuddy(combo_);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("2"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label_, 0, 0);
    grid->addWidget(combo_, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(combo_, &QComboBox::currentIndexChanged, this,
            [this](int index) { OnSelectionChange(index); });
}

bool CLanguageDlg::OnInitDialog() {
    choices_.Build(listPath_, programFolder_, currentFile_);
    {
        // Filling the list is no choice of the user's.
        QSignalBlocker block(combo_);
        combo_->clear();
        for (const std::string& name : choices_.Names()) combo_->addItem(ToQ(WideFromUtf8(name)));
    }
    ApplyDialogTexts(currentFile_);
    if (fonts_) fonts_->Apply(this, true);
    QSignalBlocker block(combo_);
    combo_->setCurrentIndex(choices_.Selected());
    return true;
}

void CLanguageDlg::ApplyDialogTexts(const std::string& languageFile) {
    LanguageTexts texts(languageFile);
    setWindowTitle(ToQ(texts.WText("FrmLanguage.Caption")));
    label_->setText(ToQ(texts.WText("FrmLanguage.m_LBLCurrentLanguage")));
    ok_->setText(ToQ(texts.WText("FrmLanguage.m_BTNOk")));
    cancel_->setText(ToQ(texts.WText("FrmLanguage.m_BTNCancel")));
}

void CLanguageDlg::OnSelectionChange(int index) {
    if (index < 0 || index >= static_cast<int>(choices_.Names().size())) return;
    chosenFile_ = choices_.FileAt(index);
    chosenName_ = Utf8FromWide(FromQ(combo_->itemText(index)));
    ApplyDialogTexts(chosenFile_);
}

void CLanguageDlg::OnOK() {
    EndDialog(IDOK);
}
