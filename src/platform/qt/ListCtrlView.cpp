#include "platform/qt/ListCtrlView.h"

#include <QHeaderView>
#include <QTimer>

ListCtrlView::ListCtrlView(CListCtrl& store, QWidget* parent)
    : QTableView(parent), model_(store, this) {
    setModel(&model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ListCtrlView::ColumnClicked);
    connect(&model_, &ListCtrlModel::ColumnsReset, this, &ListCtrlView::ApplyColumns);
    connect(&model_, &ListCtrlModel::RowsTouched, this, &ListCtrlView::MarkDirty);
    // The store has removed its rows already when the view hears of it, and the
    // selection model does not carry a selection across such a removal reliably:
    // what it reports then must not reach the store, and a view that had a
    // selection takes it again from the store.
    connect(&model_, &ListCtrlModel::RowsAboutToGo, this, [this] {
        hadSelection_ = selectionModel()->hasSelection();
        syncing_ = true;
    });
    connect(&model_, &ListCtrlModel::RowsGone, this, [this] {
        syncing_ = false;
        if (hadSelection_) MarkDirty(0, model_.Store().GetItemCount() - 1);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListCtrlView::PushSelection);
    ApplyColumns();
    if (store.GetItemCount() > 0) {
        MarkDirty(0, store.GetItemCount() - 1);
        SyncSelectionNow();
    }
}

void ListCtrlView::ApplyColumns() {
    const CListCtrl& store = model_.Store();
    for (int c = 0; c < store.GetColumnCount(); ++c) {
        int w = store.GetColumn(c).width;
        setColumnHidden(c, w <= 0);
        if (w > 0) setColumnWidth(c, w);
    }
}

void ListCtrlView::MarkDirty(int first, int last) {
    if (syncing_) return;
    dirtyFirst_ = dirtyFirst_ < 0 ? first : std::min(dirtyFirst_, first);
    dirtyLast_ = std::max(dirtyLast_, last);
    if (flushQueued_) return;
    flushQueued_ = true;
    QTimer::singleShot(0, this, [this] { SyncSelectionNow(); });
}

void ListCtrlView::SyncSelectionNow() {
    flushQueued_ = false;
    CListCtrl& store = model_.Store();
    const int first = std::max(0, dirtyFirst_);
    const int last = std::min(dirtyLast_, store.GetItemCount() - 1);
    dirtyFirst_ = dirtyLast_ = -1;
    if (first > last) return;
    const int lastColumn = std::max(1, store.GetColumnCount()) - 1;
    // Contiguous runs of selected rows, so that selecting everything is one range.
    QItemSelection want;
    for (int row = first; row <= last; ++row) {
        if (store.GetItemState(row, CListCtrl::LVIS_SELECTED) == 0) continue;
        int end = row;
        while (end + 1 <= last && store.GetItemState(end + 1, CListCtrl::LVIS_SELECTED) != 0) ++end;
        want.append(QItemSelectionRange(model_.index(row, 0), model_.index(end, lastColumn)));
        row = end;
    }
    QItemSelection range(model_.index(first, 0), model_.index(last, lastColumn));
    syncing_ = true;
    selectionModel()->select(range, QItemSelectionModel::Deselect);
    if (!want.isEmpty()) selectionModel()->select(want, QItemSelectionModel::Select);
    syncing_ = false;
}

void ListCtrlView::PushSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    if (syncing_) return;
    CListCtrl& store = model_.Store();
    syncing_ = true;
    for (const QItemSelectionRange& r : deselected)
        for (int row = r.top(); row <= r.bottom(); ++row)
            store.SetItemState(row, 0, CListCtrl::LVIS_SELECTED);
    for (const QItemSelectionRange& r : selected)
        for (int row = r.top(); row <= r.bottom(); ++row)
            store.SetItemState(row, CListCtrl::LVIS_SELECTED, CListCtrl::LVIS_SELECTED);
    syncing_ = false;
}
