#include "platform/ListCtrl.h"

#include <algorithm>

int CListCtrl::InsertColumn(int index, const std::u16string& header, Align align, int width) {
    if (index < 0) return -1;
    if (index > GetColumnCount()) index = GetColumnCount();
    columns_.insert(columns_.begin() + index, Column{header, width, align});
    if (observer_) observer_->OnListReset();
    return index;
}

bool CListCtrl::DeleteColumn(int index) {
    if (index < 0 || index >= GetColumnCount()) return false;
    columns_.erase(columns_.begin() + index);
    // The texts of the rows stay where they are, as in the platform's list view:
    // a column inserted again at the same index shows them again.
    if (observer_) observer_->OnListReset();
    return true;
}

bool CListCtrl::SetColumnWidth(int index, int width) {
    if (index < 0 || index >= GetColumnCount()) return false;
    columns_[index].width = width;
    if (observer_) observer_->OnListReset();
    return true;
}

int CListCtrl::InsertItem(int index, const std::u16string& text) {
    if (index < 0) return -1;
    if (index > GetItemCount()) index = GetItemCount();
    Row row;
    row.text = texts_.Add({text});
    rows_.insert(rows_.begin() + index, row);
    if (observer_) observer_->OnRowsInserted(index, index);
    return index;
}

bool CListCtrl::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return false;
    ReleaseTexts(static_cast<size_t>(index), static_cast<size_t>(index) + 1);
    rows_.erase(rows_.begin() + index);
    CompactIfWasteful();
    if (observer_) observer_->OnRowsRemoved(index, index);
    return true;
}

bool CListCtrl::DeleteAllItems() {
    if (rows_.empty()) return true;
    int last = GetItemCount() - 1;
    rows_.clear();
    rows_.shrink_to_fit();
    texts_.Clear();
    if (observer_) observer_->OnRowsRemoved(0, last);
    return true;
}

int CListCtrl::AppendItems(std::vector<Item> items) {
    const int first = GetItemCount();
    if (items.empty()) return first;
    for (const Item& item : items)
        rows_.push_back(Row{texts_.Add(item.texts), item.state, item.image, item.data});
    if (observer_) observer_->OnRowsInserted(first, GetItemCount() - 1);
    return first;
}

int CListCtrl::AppendBatch(RowTextArena::Batch&& batch, uint32_t state) {
    const int first = GetItemCount();
    if (batch.RowCount() == 0) return first;
    std::vector<RowTextArena::Ref> refs;
    texts_.AddBatch(std::move(batch), refs);
    for (RowTextArena::Ref ref : refs) rows_.push_back(Row{ref, state, 0, 0});
    if (observer_) observer_->OnRowsInserted(first, GetItemCount() - 1);
    return first;
}

bool CListCtrl::DeleteItemRange(int first, int count) {
    if (first < 0 || first >= GetItemCount() || count <= 0) return false;
    const int last = std::min(GetItemCount(), first + count) - 1;
    ReleaseTexts(static_cast<size_t>(first), static_cast<size_t>(last) + 1);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    CompactIfWasteful();
    if (observer_) observer_->OnRowsRemoved(first, last);
    return true;
}

int CListCtrl::DeleteCheckedItems() {
    return DeleteItemsWithState(LVIS_STATEIMAGEMASK, kChecked);
}

int CListCtrl::DeleteSelectedItems() {
    return DeleteItemsWithState(LVIS_SELECTED, LVIS_SELECTED);
}

int CListCtrl::DeleteItemsWithState(uint32_t mask, uint32_t value) {
    const int before = GetItemCount();
    auto goes = [mask, value](const Row& row) { return (row.state & mask) == value; };
    int first = -1, last = -1;
    for (int i = 0; i < before; ++i) {
        if (!goes(rows_[static_cast<size_t>(i)])) continue;
        if (first < 0) first = i;
        last = i;
    }
    if (first < 0) return 0;
    auto kept = std::stable_partition(rows_.begin() + first, rows_.end(),
                                      [&goes](const Row& row) { return !goes(row); });
    ReleaseTexts(static_cast<size_t>(kept - rows_.begin()), rows_.size());
    rows_.erase(kept, rows_.end());
    CompactIfWasteful();
    const int removed = before - GetItemCount();
    // One block tells the views which rows went; scattered rows are told as a new
    // list, which costs the views one pass instead of one per block.
    if (observer_) {
        if (removed == last - first + 1)
            observer_->OnRowsRemoved(first, last);
        else
            observer_->OnListReset();
    }
    return removed;
}

void CListCtrl::SetCheckAll(bool checked) {
    for (auto& row : rows_)
        row.state = (row.state & ~LVIS_STATEIMAGEMASK) | (checked ? kChecked : kUnchecked);
    if (!rows_.empty()) NotifyChanged(0, GetItemCount() - 1);
}

void CListCtrl::InvertChecks() {
    for (auto& row : rows_) {
        const bool checked = (row.state & LVIS_STATEIMAGEMASK) == kChecked;
        row.state = (row.state & ~LVIS_STATEIMAGEMASK) | (checked ? kUnchecked : kChecked);
    }
    if (!rows_.empty()) NotifyChanged(0, GetItemCount() - 1);
}

std::u16string CListCtrl::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0) return {};
    return texts_.Text(rows_[static_cast<size_t>(row)].text, column);
}

bool CListCtrl::SetItemText(int row, int column, const std::u16string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0) return false;
    Row& r = rows_[static_cast<size_t>(row)];
    std::vector<std::u16string> texts = texts_.Texts(r.text);
    if (texts.size() <= static_cast<size_t>(column)) texts.resize(static_cast<size_t>(column) + 1);
    texts[static_cast<size_t>(column)] = text;
    // The new texts are written before the old ones go, so the arena never frees
    // a chunk that the row is about to be written into.
    const RowTextArena::Ref old = r.text;
    r.text = texts_.Add(texts);
    texts_.Release(old);
    CompactIfWasteful();
    NotifyChanged(row, row);
    return true;
}

bool CListCtrl::GetCheck(int row) const {
    return (GetItemState(row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == kChecked;
}

bool CListCtrl::SetCheck(int row, bool checked) {
    return SetItemState(row, checked ? kChecked : kUnchecked, LVIS_STATEIMAGEMASK);
}

uint32_t CListCtrl::GetItemState(int row, uint32_t mask) const {
    if (row < 0 || row >= GetItemCount()) return 0;
    return rows_[static_cast<size_t>(row)].state & mask;
}

bool CListCtrl::SetItemState(int row, uint32_t state, uint32_t mask) {
    if (row < 0 || row >= GetItemCount()) return false;
    auto& s = rows_[static_cast<size_t>(row)].state;
    s = (s & ~mask) | (state & mask);
    NotifyChanged(row, row);
    return true;
}

intptr_t CListCtrl::GetItemData(int row) const {
    return row >= 0 && row < GetItemCount() ? rows_[static_cast<size_t>(row)].data : 0;
}

bool CListCtrl::SetItemData(int row, intptr_t data) {
    if (row < 0 || row >= GetItemCount()) return false;
    rows_[static_cast<size_t>(row)].data = data;
    return true;
}

CListCtrl::Item CListCtrl::GetItem(int row) const {
    if (row < 0 || row >= GetItemCount()) return {};
    const Row& r = rows_[static_cast<size_t>(row)];
    return Item{texts_.Texts(r.text), r.state, r.data, r.image};
}

bool CListCtrl::SetItemRecord(int row, const Item& record, uint32_t mask) {
    if (row < 0 || row >= GetItemCount()) return false;
    Row& r = rows_[static_cast<size_t>(row)];
    r.state = (r.state & ~mask) | (record.state & mask);
    r.image = record.image;
    r.data = record.data;
    NotifyChanged(row, row);
    return true;
}

void CListCtrl::NotifyChanged(int first, int last) {
    if (observer_) observer_->OnRowsChanged(first, last);
}

void CListCtrl::ReleaseTexts(size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) texts_.Release(rows_[i].text);
}

void CListCtrl::CompactIfWasteful() {
    if (!texts_.WantsCompact()) return;
    RowTextArena fresh;
    for (Row& row : rows_) row.text = texts_.CopyTo(row.text, fresh);
    texts_ = std::move(fresh);
}
