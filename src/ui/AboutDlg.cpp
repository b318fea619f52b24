#include "ui/AboutDlg.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Deployment.h"
#include "platform/qt/QtText.h"
#include "ui/ClickEdit.h"
#include "ui/FontHolder.h"
#include "ui/ThemeColours.h"

namespace {

QString FromUtf8View(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void SetTextColour(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::WindowText, colour);
        pal.setColor(group, QPalette::Text, colour);
    }
    w->setPalette(pal);
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("Info"));
    UsePanelColours(this);

    title_ = new QLabel(QStringLiteral("Kelvane"), this);
    title_->setObjectName(QStringLiteral("Title"));
    version_ = new QLabel(QString::fromLatin1(kVersionLine), this);
    version_->setObjectName(QStringLiteral("Version"));
    for (const char* line : {"Secure deletion of files and of free disk space.",
                             "Free software under the MIT licence."}) {
        descriptions_.push_back(new QLabel(QString::fromUtf8(line), this));
    }
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("Ok"));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, [this] { OnOK(); });

    auto* top = new QVBoxLayout(this);
    top->addWidget(title_);
    top->addWidget(version_);
    for (QLabel* d : descriptions_) top->addWidget(d);
    top->addSpacing(8);
    auto* makerBox = new QVBoxLayout;
    makerBox->setSpacing(2);
    top->addLayout(makerBox);
    AddLink(makerBox, FromUtf8View(kKelvaneWebHost), FromUtf8View(kKelvaneWebHost));
    AddLink(makerBox, FromUtf8View(kKelvaneMailShown), FromUtf8View(kKelvaneMail));
    top->addSpacing(8);
    translations_ = new QLabel(QStringLiteral("Translations:"), this);
    translations_->setObjectName(QStringLiteral("Translations"));
    top->addWidget(translations_);
    auto* creditBox = new QVBoxLayout;
    creditBox->setSpacing(2);
    top->addLayout(creditBox);
    for (const TranslationCredit& c : kTranslationCredits) {
        AddLink(creditBox,
                FromUtf8View(c.language) + QStringLiteral(": ") + FromUtf8View(c.name) +
                    QStringLiteral(" (") + FromUtf8View(c.contact) + QStringLiteral(")"),
                FromUtf8View(c.link));
    }
    top->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    top->addLayout(buttons);
    ApplyColours();
}

// The descriptions in a quieter colour and the links in the theme's, both
// readable on the panel; again whenever the theme changes.
void CAboutDlg::ApplyColours() {
    for (QLabel* d : descriptions_) SetTextColour(d, SoftTextColour(palette()));
    for (CClickEdit* link : links_) SetTextColour(link, LinkColour(palette()));
}

void CAboutDlg::changeEvent(QEvent* event) {
    CDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) ApplyColours();
}

CClickEdit* CAboutDlg::AddLink(QVBoxLayout* box, const QString& text, const QString& target) {
    auto* link = new CClickEdit(this);
    link->SetText(FromQ(text));
    link->SetLink(FromQ(target));
    link->setAccessibleName(text);
    link->setMinimumWidth(link->fontMetrics().horizontalAdvance(text) + 12);
    box->addWidget(link);
    links_.push_back(link);
    return link;
}

void CAboutDlg::SetTexts(const QString& caption, const QStringList& descriptions,
                         const QString& translations, const QString& linkHint) {
    if (!caption.isEmpty()) setWindowTitle(caption);
    if (!linkHint.isEmpty())
        for (CClickEdit* link : links_) link->setAccessibleDescription(linkHint);
    for (size_t i = 0; i < descriptions_.size() && i < static_cast<size_t>(descriptions.size());
         ++i)
        if (!descriptions[static_cast<qsizetype>(i)].isEmpty())
            descriptions_[i]->setText(descriptions[static_cast<qsizetype>(i)]);
    if (!translations.isEmpty()) translations_->setText(translations);
}

void CAboutDlg::Prepare(FontHolder& fonts, const QString& okText) {
    fonts_ = &fonts;
    okText_ = okText;
}

int CAboutDlg::DoModal(FontHolder& fonts, const QString& okText) {
    Prepare(fonts, okText);
    return CDialog::DoModal();
}

bool CAboutDlg::OnInitDialog() {
    if (!okText_.isEmpty()) ok_->setText(okText_);
    if (fonts_) {
        fonts_->Apply(this, false);
        QFont bold = fonts_->EffectiveFont().AppliedTo(font(), false);
        bold.setWeight(QFont::Bold);
        title_->setFont(bold);
    }
    return true;
}
