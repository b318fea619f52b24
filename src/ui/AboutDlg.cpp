#include "ui/AboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Deployment.h"
#include "platform/qt/QtText.h"
#include "ui/ClickEdit.h"
#include "ui/FontHolder.h"

namespace {

const QColor kLinkColour(0, 0, 255);
const QColor kDescriptionColour(155, 155, 155);

QString FromUtf8View(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void SetTextColour(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    pal.setColor(QPalette::Base, Qt::white);
    w->setPalette(pal);
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : CDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("Info"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    title_ = new QLabel(QStringLiteral("Kelvane"), this);
    title_->setObjectName(QStringLiteral("Title"));
    version_ = new QLabel(QString::fromLatin1(kVersionLine), this);
    version_->setObjectName(QStringLiteral("Version"));
    for (const char* line : {"Secure deletion of files and of free disk space.",
                             "Free software under the MIT licence."}) {
        auto* d = new QLabel(QString::fromUtf8(line), this);
        SetTextColour(d, kDescriptionColour);
        descriptions_.push_back(d);
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
}

CClickEdit* CAboutDlg::AddLink(QVBoxLayout* box, const QString& text, const QString& target) {
    auto* link = new CClickEdit(this);
    link->SetText(FromQ(text));
    link->SetLink(FromQ(target));
    SetTextColour(link, kLinkColour);
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
