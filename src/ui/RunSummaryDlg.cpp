#include "ui/RunSummaryDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/qt/QtText.h"
#include "ui/Accessibility.h"

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
    // The advice is a sentence or two: it is broken into lines that fit the
    // width of the list (a tree view does not wrap its rows itself).
    warnings_->setUniformRowHeights(false);
    warnings_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    warnings_->viewport()->installEventFilter(this);
    warnings_->setAccessibleName(SpokenCaption(ToQ(text("FrmSummary.m_acMWarnings"))));
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
        advice_.emplace_back(advice, advice->text(0));
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

    // Overwriting in place does not reach the copies an editor's saves left behind.
    top->addWidget(Line(text("FrmSummary.m_acMEarlierCopies")));
    freeSpaceAfter_ = new QCheckBox(ToQ(text("FrmSummary.m_CHKFreeSpaceAfter")));
    freeSpaceAfter_->setChecked(s.freeSpaceAfter);
    top->addWidget(freeSpaceAfter_);

    hideSeen_ = new QCheckBox(ToQ(text("FrmSummary.m_CHKHideSeen")));
    hideSeen_->setChecked(hideSeen);
    top->addWidget(hideSeen_);
    // Without warnings there is nothing to stop showing.
    hideSeen_->setVisible(!s.groups.empty());

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
    resize(640, s.groups.empty() ? 260 : 480);
}

namespace {

QString WrappedToWidth(const QString& text, const QFont& font, int width) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

void CRunSummaryDlg::WrapAdvice() {
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, warnings_) + 1;
    // The advice stands one level down: two indentations, one of them the
    // decoration of the top level.
    const int width = warnings_->viewport()->width() - 2 * warnings_->indentation() - 4 * margin;
    if (width <= 0) return;
    for (const auto& [item, text] : advice_)
        item->setText(0, WrappedToWidth(text, item->font(0), width));
}

bool CRunSummaryDlg::eventFilter(QObject* watched, QEvent* event) {
    if (warnings_ && watched == warnings_->viewport() && event->type() == QEvent::Resize)
        WrapAdvice();
    return QDialog::eventFilter(watched, event);
}

bool CRunSummaryDlg::HideSeen() const {
    return hideSeen_->isChecked();
}

bool CRunSummaryDlg::FreeSpaceAfter() const {
    return freeSpaceAfter_->isChecked();
}

void CRunSummaryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hooked_ || !ShownHook()) return;
    hooked_ = true;
    QTimer::singleShot(0, this, [this] {
        if (ShownHook()) ShownHook()(*this);
    });
}
