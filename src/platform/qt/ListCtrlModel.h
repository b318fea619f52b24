#pragma once
// Shows a CListCtrl row store in Qt views: one column per store column, the check
// box in column 0, and a tool tip per row from a provider the owner sets.
// The store notifies after it changed; the model only relays, it keeps no copy.
#include <QAbstractTableModel>
#include <functional>

#include "platform/ListCtrl.h"

class ListCtrlModel : public QAbstractTableModel, public ListCtrlObserver {
    Q_OBJECT
  public:
    explicit ListCtrlModel(CListCtrl& store, QObject* parent = nullptr);
    ~ListCtrlModel() override;

    CListCtrl& Store() { return store_; }
    // The tool tip of a row (empty: none).
    void SetToolTipProvider(std::function<QString(int row)> provider) {
        toolTip_ = std::move(provider);
    }
    // The mark shown before a row's first column (an icon; null: none).
    void SetMarkProvider(std::function<QVariant(int row)> provider) { mark_ = std::move(provider); }
    // What a screen reader says for a row's first column, marks included (empty:
    // its text); the tool tip, as plain text, is the row's description.
    void SetSpokenProvider(std::function<QString(int row)> provider) {
        spoken_ = std::move(provider);
    }

    // What a screen reader is told about a column header besides its text (the
    // order a list is sorted in, say); empty: nothing.
    void SetHeaderDescriptionProvider(std::function<QString(int column)> provider) {
        headerDescription_ = std::move(provider);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // After the store's columns were replaced (header texts or widths).
    void ColumnsReset();
    // After rows changed, were inserted, or everything was reset.
    void RowsTouched(int first, int last);
    // Around a removal of rows.
    void RowsAboutToGo();
    void RowsGone();

  private:
    void OnListReset() override;
    void OnRowsInserted(int first, int last) override;
    void OnRowsRemoved(int first, int last) override;
    void OnRowsChanged(int first, int last) override;

    CListCtrl& store_;
    std::function<QString(int)> toolTip_;
    std::function<QVariant(int)> mark_;
    std::function<QString(int)> spoken_;
    std::function<QString(int)> headerDescription_;
    int shownRows_ = 0;  // the row count the views were last told about
};
