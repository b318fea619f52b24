#include "ui/RunSummaryDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/qt/QtText.h"

namespace {

std::function<void(CRunSummaryDlg&)>& ShownHook() {
    static std::function<void(CRunSummaryDlg&)> hook;
    return hook;
}

std::u16string Number(int64_t n) {
    return WideFromUtf8(std::to_string(n));
}

QLabel* Line(const std::u16string& text) {
    auto* l = new QLabel(ToQ(text));
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    return l;
}

}  // namespace

void CRunSummaryDlg::SetShownHook(std::function<void(CRunSummaryDlg&)> hook) {
    ShownHook() = std::move(hook);
}

CRunSummaryDlg::CRunSummaryDlg(const RunSummary& s, const TextLookup& text, bool hideSeen,
                               QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RunSummaryDlg"));
    setWindowTitle(ToQ(text("FrmSummary.Caption")));
    auto* top = new QVBoxLayout(this);
    top->addWidget(Line(SafeFormat(text("FrmSummary.m_acMCounts"),
                                   {Number(s.files), Number(s.folders), Number(s.bytes)})));
    top->addWidget(Line(SafeFormat(text("FrmSummary.m_acMPasses"),
                                   {Number(s.passes), text(EndActionKey(s.endAction))})));
    if (s.verify) top->addWidget(Line(text("FrmOptions.m_CHKVerifyLastPass")));

    const QIcon warn = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    warnings_ = new QTreeWidget;
    warnings_->setHeaderHidden(true);
    warnings_->setColumnCount(1);
    warnings_->setRootIsDecorated(true);
    warnings_->setTextElideMode(Qt::ElideMiddle);
    if (s.groups.empty()) {
        top->addWidget(Line(text("FrmSummary.m_acMNoWarnings")));
        warnings_->hide();
    } else {
        top->addWidget(Line(text("FrmSummary.m_acMWarnings")));
    }
    for (const RunSummary::Group& g : s.groups) {
        auto* item = new QTreeWidgetItem(warnings_);
        item->setText(0, ToQ(SafeFormat(text("FrmSummary.m_acMWarningLine"),
                                        {text(ReasonTextKey(g.reason)), Number(g.count)})));
        item->setIcon(0, warn);
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        auto* advice = new QTreeWidgetItem(item);
        advice->setText(0, ToQ(text(ReasonAdviceKey(g.reason))));
        advice->setToolTip(0, advice->text(0));
        QFont italic = advice->font(0);
        italic.setItalic(true);
        advice->setFont(0, italic);
        for (const std::u16string& p : g.examples) {
            auto* example = new QTreeWidgetItem(item);
            // Shown, never used as a path: control characters become visible escapes.
            example->setText(0, ToQ(PrintableText(p)));
            example->setToolTip(0, example->text(0).toHtmlEscaped());
        }
        const int more = g.count - static_cast<int>(g.examples.size());
        if (more > 0)
            (new QTreeWidgetItem(item))
                ->setText(0, ToQ(SafeFormat(text("FrmSummary.m_acMMoreFiles"), {Number(more)})));
        item->setExpanded(true);
    }
    top->addWidget(warnings_, 1);
    if (s.encrypted > 0)
        top->addWidget(
            Line(SafeFormat(text("FrmSummary.m_acMEncryptedCount"), {Number(s.encrypted)})));
    for (const std::u16string& names : NameLines(s, text)) {
        QLabel* line = Line(names);
        line->setObjectName(QStringLiteral("NamesLine"));
        top->addWidget(line);
    }

    hideSeen_ = new QCheckBox(ToQ(text("FrmSummary.m_CHKHideSeen")));
    hideSeen_->setChecked(hideSeen);
    top->addWidget(hideSeen_);

    start_ = new QPushButton(ToQ(text("FrmSummary.m_BTNStart")));
    cancel_ = new QPushButton(ToQ(text("FrmSummary.m_BTNCancel")));
    // Nothing is destroyed by pressing Enter without a look.
    cancel_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    top->addLayout(buttons);
    connect(start_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    resize(640, s.groups.empty() ? 200 : 420);
}

bool CRunSummaryDlg::HideSeen() const {
    return hideSeen_->isChecked();
}

void CRunSummaryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hooked_ || !ShownHook()) return;
    hooked_ = true;
    QTimer::singleShot(0, this, [this] {
        if (ShownHook()) ShownHook()(*this);
    });
}
