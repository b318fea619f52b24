#include "filelist/StringTable.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

class StringTable::WriteGuard {
  public:
    explicit WriteGuard(std::atomic<int>& g) : g_(g) {
        int expected = 0;
        entered_ = g_.compare_exchange_strong(expected, -1, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    ~WriteGuard() {
        if (entered_) g_.store(0, std::memory_order_release);
    }
    explicit operator bool() const { return entered_; }

  private:
    std::atomic<int>& g_;
    bool entered_ = false;
};

StringTable::ReadHold::ReadHold(const StringTable& table) : table_(table) {
    int v = table_.guard_.load(std::memory_order_relaxed);
    while (v >= 0 && !held_) {
        held_ = table_.guard_.compare_exchange_weak(v, v + 1, std::memory_order_acquire,
                                                    std::memory_order_relaxed);
    }
}

StringTable::ReadHold::~ReadHold() {
    if (held_) table_.guard_.fetch_sub(1, std::memory_order_release);
}

bool StringTable::SetSize(int columns, int rows) {
    if (columns < 1 || rows < 0) return false;
    WriteGuard w(guard_);
    if (!w) return false;
    columnCount_ = columns;
    rowCount_ = rows;
    // Cells beyond the new size are dropped, so rows added later start empty
    // instead of showing what an earlier batch left there.
    if (rows_.size() > static_cast<size_t>(rows)) rows_.resize(rows);
    for (auto& r : rows_)
        if (r.size() > static_cast<size_t>(columns)) r.resize(columns);
    return true;
}

bool StringTable::AddRows(int n) {
    WriteGuard w(guard_);
    if (!w) return false;
    // Cells written beyond the count before the rows were added stay: they were
    // written on purpose, and the new rows show them.
    if (n > 0) {
        if (n > std::numeric_limits<int>::max() - rowCount_) return false;
        rowCount_ += n;
    }
    return true;
}

int StringTable::RowCount() const {
    ReadHold r(*this);
    return r ? rowCount_ : 0;
}

int StringTable::ColumnCount() const {
    ReadHold r(*this);
    return r ? columnCount_ : 0;
}

std::string StringTable::GetCell(int column, int row) const {
    ReadHold r(*this);
    if (!r || column < 0 || row < 0 || row >= rowCount_ || column >= columnCount_) return {};
    if (static_cast<size_t>(row) >= rows_.size()) return {};
    const auto& cells = rows_[row];
    if (static_cast<size_t>(column) >= cells.size()) return {};
    return cells[column];
}

bool StringTable::SetCell(int column, int row, const std::string& text) {
    if (column < 0 || row < 0) return false;
    WriteGuard w(guard_);
    if (!w) return false;
    // A wild index must not end the program: a cell that cannot be made is a failed write.
    try {
        if (rows_.size() <= static_cast<size_t>(row)) rows_.resize(static_cast<size_t>(row) + 1);
        auto& cells = rows_[row];
        if (cells.size() <= static_cast<size_t>(column))
            cells.resize(static_cast<size_t>(column) + 1);
        cells[column] = text;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

bool StringTable::SetCellInt(int column, int row, long long value) {
    return SetCell(column, row, std::to_string(value));
}

int StringTable::Find(int column, const std::string& text) const {
    ReadHold r(*this);
    if (!r || column < 0 || column >= columnCount_) return -1;
    const int n = std::min<int>(rowCount_, static_cast<int>(rows_.size()));
    for (int i = 0; i < n; ++i) {
        const auto& cells = rows_[i];
        const std::string empty;
        const std::string& cell =
            static_cast<size_t>(column) < cells.size() ? cells[column] : empty;
        if (cell == text) return i;
    }
    // Rows counted but never written hold "" and match an empty text.
    if (text.empty() && rowCount_ > n) return n;
    return -1;
}

bool StringTable::DeleteRow(int row) {
    WriteGuard w(guard_);
    if (!w || row < 0 || row >= rowCount_) return false;
    if (static_cast<size_t>(row) < rows_.size()) rows_.erase(rows_.begin() + row);
    --rowCount_;
    return true;
}

bool StringTable::AppendRow(const std::string& text) {
    WriteGuard w(guard_);
    if (!w || rowCount_ == std::numeric_limits<int>::max()) return false;
    if (columnCount_ < 1) columnCount_ = 1;
    try {
        if (rows_.size() <= static_cast<size_t>(rowCount_)) rows_.resize(rowCount_ + 1);
        rows_[rowCount_].assign(1, text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ++rowCount_;
    return true;
}
