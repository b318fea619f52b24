#pragma once
// A report-style list view over a CListCtrl row store: whole rows are selected,
// the selection is kept in the store's item states (both ways), column widths
// come from the store (width 0 hides the column), and a click on a column header
// is reported, not acted on: sorting is the owner's business.
#include <QTableView>

#include "platform/qt/ListCtrlModel.h"

class ListCtrlView : public QTableView {
    Q_OBJECT
  public:
    explicit ListCtrlView(CListCtrl& store, QWidget* parent = nullptr);

    ListCtrlModel& Model() { return model_; }
    CListCtrl& Store() { return model_.Store(); }

    // The view follows the store's selection states once per event-loop turn, so a
    // loop that selects 100000 rows one by one costs one pass; tests call this to
    // see the result at once.
    void SyncSelectionNow();

  signals:
    void ColumnClicked(int column);

  private:
    void ApplyColumns();
    void MarkDirty(int first, int last);  // store -> view, deferred
    void PushSelection(const QItemSelection& selected, const QItemSelection& deselected);

    ListCtrlModel model_;
    bool syncing_ = false;
    bool flushQueued_ = false;
    bool hadSelection_ = false;
    int dirtyFirst_ = -1;
    int dirtyLast_ = -1;
};
