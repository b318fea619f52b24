#include "platform/qt/ListCtrlModel.h"

#include <QTextDocumentFragment>

#include "platform/qt/QtText.h"

ListCtrlModel::ListCtrlModel(CListCtrl& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {
    shownRows_ = store_.GetItemCount();
    store_.SetObserver(this);
}

ListCtrlModel::~ListCtrlModel() {
    store_.SetObserver(nullptr);
}

int ListCtrlModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int ListCtrlModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : store_.GetColumnCount();
}

QVariant ListCtrlModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= store_.GetItemCount()) return {};
    const int row = index.row();
    switch (role) {
        case Qt::DisplayRole:
            return ToQ(store_.GetItemText(row, index.column()));
        case Qt::CheckStateRole:
            if (index.column() != 0) return {};
            return store_.GetCheck(row) ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole:
            if (index.column() != 0 || !mark_) return {};
            return mark_(row);
        case Qt::ToolTipRole:
            if (toolTip_) {
                QString tip = toolTip_(row);
                if (!tip.isEmpty()) return tip;
            }
            return {};
        case Qt::AccessibleTextRole:
            if (index.column() != 0 || !spoken_) return {};
            if (QString said = spoken_(row); !said.isEmpty()) return said;
            return {};
        case Qt::AccessibleDescriptionRole:
            if (index.column() != 0 || !toolTip_) return {};
            return QTextDocumentFragment::fromHtml(toolTip_(row)).toPlainText();
        case Qt::TextAlignmentRole: {
            if (index.column() >= store_.GetColumnCount()) return {};
            auto align = store_.GetColumn(index.column()).align;
            Qt::Alignment h = align == CListCtrl::Align::Right    ? Qt::AlignRight
                              : align == CListCtrl::Align::Center ? Qt::AlignHCenter
                                                                  : Qt::AlignLeft;
            return QVariant::fromValue(h | Qt::AlignVCenter);
        }
        default:
            return {};
    }
}

bool ListCtrlModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole) return false;
    const bool checked = value.toInt() == Qt::Checked;
    return store_.SetCheck(index.row(), checked);
}

QVariant ListCtrlModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        // A reader names each row by its first cell (the header itself is hidden).
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
        if (section < 0 || section >= shownRows_ || store_.GetColumnCount() == 0) return {};
        return ToQ(store_.GetItemText(section, 0));
    }
    if (orientation != Qt::Horizontal) return {};
    if (section < 0 || section >= store_.GetColumnCount()) return {};
    if (role == Qt::AccessibleDescriptionRole && headerDescription_)
        return headerDescription_(section);
    if (role != Qt::DisplayRole) return {};
    return ToQ(store_.GetColumn(section).header);
}

Qt::ItemFlags ListCtrlModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

void ListCtrlModel::OnListReset() {
    beginResetModel();
    shownRows_ = store_.GetItemCount();
    endResetModel();
    emit ColumnsReset();
    if (shownRows_ > 0) emit RowsTouched(0, shownRows_ - 1);
}

void ListCtrlModel::OnRowsInserted(int first, int last) {
    beginInsertRows(QModelIndex(), first, last);
    shownRows_ += last - first + 1;
    endInsertRows();
    emit RowsTouched(first, last);
}

void ListCtrlModel::OnRowsRemoved(int first, int last) {
    emit RowsAboutToGo();
    beginRemoveRows(QModelIndex(), first, last);
    shownRows_ -= last - first + 1;
    endRemoveRows();
    emit RowsGone();
}

void ListCtrlModel::OnRowsChanged(int first, int last) {
    if (shownRows_ != store_.GetItemCount()) {
        OnListReset();
        return;
    }
    int columns = std::max(1, store_.GetColumnCount());
    emit dataChanged(index(first, 0), index(last, columns - 1));
    emit RowsTouched(first, last);
}
