#include "ui/MainFileList.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "config/TextConv.h"
#include "i18n/SafeFormat.h"
#include "platform/qt/QtText.h"

MainFileList::MainFileList(CSortListCtrl& list, TextLookup text, QWidget* parent)
    : ListCtrlView(list, parent), list_(list), text_(std::move(text)) {
    // Tab moves on to the next control; the arrows move within the list.
    setTabKeyNavigation(false);
    Model().SetToolTipProvider([this](int row) { return ToolTipOfRow(row); });
    Model().SetMarkProvider([this](int row) { return MarkOfRow(row); });
    Model().SetSpokenProvider([this](int row) { return SpokenRow(row); });
    connect(this, &ListCtrlView::ColumnClicked, this, &MainFileList::SortBy);
    connect(&Model(), &ListCtrlModel::RowsTouched, this, &MainFileList::NoteRows);
    connect(&Model(), &ListCtrlModel::ColumnsReset, this, [this] {
        FitColumns();
        ShowSortOrder();
    });
    Model().SetHeaderDescriptionProvider([this](int column) {
        if (column != list_.SortColumn()) return QString();
        return ToQ(text_(list_.Ascending() ? "FrmMain.m_ACCSortedUp" : "FrmMain.m_ACCSortedDown"));
    });
    connect(&Model(), &ListCtrlModel::RowsGone, this, [this] {
        if (list_.GetItemCount() == 0) longestSize_ = longestDate_ = 0;
        FitColumns();
    });
}

MainFileList::~MainFileList() = default;

void MainFileList::ApplyTexts(double scale) {
    const int widths[3] = {250, 85, 145};
    for (int c = 0; c < 3; ++c) designed_[c] = static_cast<int>(widths[c] * scale);
    while (list_.GetColumnCount() > 0) list_.DeleteColumn(0);
    list_.InsertColumn(kNameColumn, text_("FrmMain.m_LISFiles0"), CListCtrl::Align::Left,
                       designed_[0]);
    list_.InsertColumn(kSizeColumn, text_("FrmMain.m_LISFiles1"), CListCtrl::Align::Left,
                       designed_[1]);
    list_.InsertColumn(kDateColumn, text_("FrmMain.m_LISFiles2"), CListCtrl::Align::Left,
                       designed_[2]);
    // Hidden, yet a reader walking the headers meets it: it has a name too.
    list_.InsertColumn(kPathColumn, text_("FrmMain.m_LISFiles3"), CListCtrl::Align::Left, 0);
    setAccessibleName(ToQ(text_("FrmMain.m_ACCList")));
    setAccessibleDescription(ToQ(text_("FrmMain.m_ACCListKeys")));
}

void MainFileList::SortBy(int column) {
    if ((locked_ && locked_()) || column < 0 || column >= kPathColumn) {
        ShowSortOrder();  // a click on the header has turned its arrow
        return;
    }
    // "Size" compares as numbers, every other column as text without case.
    const int type =
        column == kSizeColumn ? CSortListCtrl::SortInteger : CSortListCtrl::SortTextNoCase;
    int result = 0;
    list_.OnColumnClick(column, type, result);
    ShowSortOrder();
}

// The header shows the order the store holds, whoever sorted it; a click on a
// header turns its arrow before the sort is asked for, so it is set afresh.
void MainFileList::ShowSortOrder() {
    QHeaderView* header = horizontalHeader();
    const int column = list_.SortColumn();
    const bool sorted = column >= 0 && column < kPathColumn;
    header->setSortIndicatorShown(sorted);
    if (sorted)
        header->setSortIndicator(column,
                                 list_.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit Model().headerDataChanged(Qt::Horizontal, 0, kPathColumn);
}

void MainFileList::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Select)) {
        ToggleChecks();
        return;
    }
    if (plain && event->key() == Qt::Key_Delete) {
        emit RemoveRequested();
        return;
    }
    ListCtrlView::keyPressEvent(event);
}

// Whole rows are selected, so Home and End go to the first and the last row,
// not to the first and last column of the row.
QModelIndex MainFileList::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model()->rowCount();
    if (rows > 0 && (action == MoveHome || action == MoveEnd)) {
        const int column = currentIndex().isValid() ? currentIndex().column() : kNameColumn;
        return model()->index(action == MoveHome ? 0 : rows - 1, column);
    }
    return ListCtrlView::moveCursor(action, modifiers);
}

// Space ticks or clears the current row and every selected row with it.
void MainFileList::ToggleChecks() {
    const int current = currentIndex().row();
    if (current < 0 || current >= list_.GetItemCount()) return;
    const bool tick = !list_.GetCheck(current);
    list_.SetCheck(current, tick);
    if (list_.GetItemState(current, CListCtrl::LVIS_SELECTED) == 0) return;
    for (int row = 0; row < list_.GetItemCount(); ++row)
        if (list_.GetItemState(row, CListCtrl::LVIS_SELECTED) != 0) list_.SetCheck(row, tick);
}

void MainFileList::NoteRows(int first, int last) {
    last = std::min(last, list_.GetItemCount() - 1);
    for (int row = std::max(0, first); row <= last; ++row) {
        longestSize_ = std::max(longestSize_, static_cast<int>(list_.GetItemText(row, 1).size()));
        longestDate_ = std::max(longestDate_, static_cast<int>(list_.GetItemText(row, 2).size()));
    }
    FitColumns();
}

// Size and Date are never cut while the list has room for them: they take what
// their longest text needs, and the file name takes what is left.
void MainFileList::FitColumns() {
    if (list_.GetColumnCount() <= kDateColumn) return;
    const int pad = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) +
                    fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QFontMetrics headerFont = horizontalHeader()->fontMetrics();
    auto need = [&](int column, int longest) {
        const int header = headerFont.horizontalAdvance(ToQ(list_.GetColumn(column).header)) +
                           2 * pad + style()->pixelMetric(QStyle::PM_HeaderMarkSize);
        const int text = fontMetrics().horizontalAdvance(QString(longest, QLatin1Char('0'))) + pad;
        return std::max({designed_[column], header, text});
    };
    const int size = need(kSizeColumn, longestSize_);
    const int date = need(kDateColumn, longestDate_);
    setColumnWidth(kSizeColumn, size);
    setColumnWidth(kDateColumn, date);
    setColumnWidth(kNameColumn, std::max(designed_[0], viewport()->width() - size - date));
}

// The room is that of the viewport, which a scroll bar coming or going changes.
bool MainFileList::viewportEvent(QEvent* event) {
    const bool handled = ListCtrlView::viewportEvent(event);
    if (event->type() == QEvent::Resize) FitColumns();
    return handled;
}

void MainFileList::changeEvent(QEvent* event) {
    ListCtrlView::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitColumns();
}

QString MainFileList::ToolTipOfRow(int row) {
    // Shown as plain text on four lines, whatever "<" or "&" the names hold.
    QString tip = ToQ(list_.InfoTip(row)).toHtmlEscaped();
    if (tip.isEmpty()) return {};
    tip.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    // Whether overwriting reaches this file's old bytes, before anyone presses Shred.
    // Worked out on a worker: until it is known, the tip says so.
    const RowVerdicts::Known* v = verdicts_.Find(list_.GetItemText(row, kPathColumn));
    CollectVerdicts();
    std::u16string verdict;
    if (!v)
        verdict = text_("FrmSummary.m_acMVerdictPending");
    else if (v->notAnswering)
        verdict = text_("FrmSummary.m_acMVerdictNotAnswering");
    else if (v->verdict.applies)
        verdict = VerdictText(v->verdict.verdict, text_);
    if (!verdict.empty()) tip += QStringLiteral("<br>") + ToQ(verdict).toHtmlEscaped();
    const auto origin = origins_.find(list_.GetItemText(row, kPathColumn));
    if (origin != origins_.end())
        tip += QStringLiteral("<br>") +
               ToQ(SafeFormat(text_("FrmMain.m_acMTrashOrigin"), {PrintableText(origin->second)}))
                   .toHtmlEscaped();
    const auto failure = failures_.find(list_.GetItemText(row, kPathColumn));
    if (failure != failures_.end())
        tip += QStringLiteral("<br>") + ToQ(PrintableText(failure->second)).toHtmlEscaped();
    return QStringLiteral("<p style='white-space:pre'>") + tip + QStringLiteral("</p>");
}

bool MainFileList::WarnedAbout(int row) {
    if (row < 0 || row >= list_.GetItemCount()) return false;
    const RowVerdicts::Known* v = verdicts_.Find(list_.GetItemText(row, kPathColumn));
    if (!v) {
        CollectVerdicts();
        return false;
    }
    return !v->notAnswering && v->verdict.applies && !v->verdict.verdict.InPlace();
}

QVariant MainFileList::MarkOfRow(int row) {
    if (!WarnedAbout(row)) return {};
    return style()->standardIcon(QStyle::SP_MessageBoxWarning);
}

// The tick and the warning mark are pictures; a screen reader hears them as
// words. The tick is said as a word too because the toolkit tells the bus that
// a ticked cell is checked, but not that an unticked one could be: a reader
// would otherwise say nothing for an unticked row, nor when Space changes it.
QString MainFileList::SpokenRow(int row) {
    if (row < 0 || row >= list_.GetItemCount()) return {};
    QString said =
        ToQ(list_.GetItemText(row, kNameColumn)) + QStringLiteral(", ") +
        ToQ(text_(list_.GetCheck(row) ? "FrmMain.m_ACCTicked" : "FrmMain.m_ACCNotTicked"));
    if (WarnedAbout(row)) said += QStringLiteral(", ") + ToQ(text_("FrmMain.m_ACCWarnedRow"));
    return said;
}

// Verdicts come in from their worker; while any is awaited the list looks for
// them now and then, and shows the marks of those that came.
void MainFileList::CollectVerdicts() {
    if (!verdictsTimer_) {
        verdictsTimer_ = new QTimer(this);
        verdictsTimer_->setInterval(kVerdictPollMs);
        connect(verdictsTimer_, &QTimer::timeout, this, [this] {
            if (verdicts_.Collect()) viewport()->update();
            if (!verdicts_.Pending()) verdictsTimer_->stop();
        });
    }
    if (verdicts_.Pending() && !verdictsTimer_->isActive()) verdictsTimer_->start();
}
