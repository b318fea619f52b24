#pragma once
// A small table of UTF-8 strings in rows and columns, shared between threads.
//
// Its guard never waits: an operation that cannot enter at once (a write while
// anybody reads or writes, a read while somebody writes) does nothing and reports
// failure ("" for a read). Callers do not retry.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class StringTable {
  public:
    StringTable() = default;
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    bool SetSize(int columns, int rows);
    bool AddRows(int n);
    int RowCount() const;
    int ColumnCount() const;
    std::string GetCell(int column, int row) const;
    bool SetCell(int column, int row, const std::string& text);
    bool SetCellInt(int column, int row, long long value);
    int Find(int column, const std::string& text) const;
    bool DeleteRow(int row);

    // Appends one row holding `text` in column 0; a convenience for the one-column
    // lists (deferred folders, temporary files, drives). Fails as a write does.
    bool AppendRow(const std::string& text);

    // Holds the table for reading across several calls, so that a row read cell by
    // cell is not changed half-way; every write fails while it is held. Like every
    // operation it never waits: test it, as a writer may hold the table already.
    class ReadHold {
      public:
        explicit ReadHold(const StringTable& table);
        ~ReadHold();
        ReadHold(const ReadHold&) = delete;
        ReadHold& operator=(const ReadHold&) = delete;
        explicit operator bool() const { return held_; }

      private:
        const StringTable& table_;
        bool held_ = false;
    };

  private:
    class WriteGuard;

    // -1: a writer holds the table; 0: idle; n > 0: n readers.
    mutable std::atomic<int> guard_{0};
    std::vector<std::vector<std::string>> rows_;
    int rowCount_ = 0;
    int columnCount_ = 0;
};
