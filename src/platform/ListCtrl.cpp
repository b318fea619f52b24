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
    Item item;
    item.texts.push_back(text);
    items_.insert(items_.begin() + index, std::move(item));
    if (observer_) observer_->OnRowsInserted(index, index);
    return index;
}

bool CListCtrl::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return false;
    items_.erase(items_.begin() + index);
    if (observer_) observer_->OnRowsRemoved(index, index);
    return true;
}

bool CListCtrl::DeleteAllItems() {
    if (items_.empty()) return true;
    int last = GetItemCount() - 1;
    items_.clear();
    if (observer_) observer_->OnRowsRemoved(0, last);
    return true;
}

int CListCtrl::AppendItems(std::vector<Item> items) {
    const int first = GetItemCount();
    if (items.empty()) return first;
    items_.insert(items_.end(), std::make_move_iterator(items.begin()),
                  std::make_move_iterator(items.end()));
    if (observer_) observer_->OnRowsInserted(first, GetItemCount() - 1);
    return first;
}

bool CListCtrl::DeleteItemRange(int first, int count) {
    if (first < 0 || first >= GetItemCount() || count <= 0) return false;
    const int last = std::min(GetItemCount(), first + count) - 1;
    items_.erase(items_.begin() + first, items_.begin() + last + 1);
    if (observer_) observer_->OnRowsRemoved(first, last);
    return true;
}

int CListCtrl::DeleteCheckedItems() {
    const int before = GetItemCount();
    int first = -1, last = -1;
    for (int i = 0; i < before; ++i) {
        if (!GetCheck(i)) continue;
        if (first < 0) first = i;
        last = i;
    }
    if (first < 0) return 0;
    auto kept = std::stable_partition(items_.begin() + first, items_.end(), [](const Item& item) {
        return (item.state & LVIS_STATEIMAGEMASK) != kChecked;
    });
    items_.erase(kept, items_.end());
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
    for (auto& item : items_)
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | (checked ? kChecked : kUnchecked);
    if (!items_.empty()) NotifyChanged(0, GetItemCount() - 1);
}

void CListCtrl::InvertChecks() {
    for (auto& item : items_) {
        const bool checked = (item.state & LVIS_STATEIMAGEMASK) == kChecked;
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | (checked ? kUnchecked : kChecked);
    }
    if (!items_.empty()) NotifyChanged(0, GetItemCount() - 1);
}

std::u16string CListCtrl::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0) return {};
    const auto& texts = items_[row].texts;
    return static_cast<size_t>(column) < texts.size() ? texts[column] : std::u16string();
}

bool CListCtrl::SetItemText(int row, int column, const std::u16string& text) {
    if (row < 0 || row >= GetItemCount() || column < 0) return false;
    auto& texts = items_[row].texts;
    if (texts.size() <= static_cast<size_t>(column)) texts.resize(static_cast<size_t>(column) + 1);
    texts[column] = text;
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
    return items_[row].state & mask;
}

bool CListCtrl::SetItemState(int row, uint32_t state, uint32_t mask) {
    if (row < 0 || row >= GetItemCount()) return false;
    auto& s = items_[row].state;
    s = (s & ~mask) | (state & mask);
    NotifyChanged(row, row);
    return true;
}

intptr_t CListCtrl::GetItemData(int row) const {
    return row >= 0 && row < GetItemCount() ? items_[row].data : 0;
}

bool CListCtrl::SetItemData(int row, intptr_t data) {
    if (row < 0 || row >= GetItemCount()) return false;
    items_[row].data = data;
    return true;
}

CListCtrl::Item CListCtrl::GetItem(int row) const {
    if (row < 0 || row >= GetItemCount()) return {};
    return items_[row];
}

bool CListCtrl::SetItemRecord(int row, const Item& record, uint32_t mask) {
    if (row < 0 || row >= GetItemCount()) return false;
    auto& item = items_[row];
    item.state = (item.state & ~mask) | (record.state & mask);
    item.image = record.image;
    item.data = record.data;
    NotifyChanged(row, row);
    return true;
}

void CListCtrl::NotifyChanged(int first, int last) {
    if (observer_) observer_->OnRowsChanged(first, last);
}
