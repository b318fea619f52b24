#pragma once
// The file list's row store with sorting: all rows are ordered by the text of one
// column, read in one of four ways, by exchanging whole rows in the store (texts
// of every column, check box, selection and the rest of the item state).
#include <cstddef>
#include <string>

#include "platform/ListCtrl.h"

class CSortListCtrl : public CListCtrl {
  public:
    enum SortType { SortInteger = 0, SortReal = 1, SortText = 2, SortTextNoCase = 3 };
    // Operators of CompareTexts.
    enum CompareOp { Less = 0, Greater = 1, LessEqual = 2, GreaterEqual = 3, Equal = 4 };
    static constexpr uint32_t kSwapStateMask = 0xFF0F;
    static constexpr size_t kInfoTipBuffer = 8192;

    virtual void SortByColumn(int column, bool ascending, int type);
    virtual void Resort();
    virtual bool CompareTexts(const std::u16string& first, const std::u16string& second,
                              int op) const;

    // A click on a column header: a second click on the same column reverses the
    // order, another column starts ascending. `result` is set to 0.
    void OnColumnClick(int column, int type, int& result);
    bool SwapRows(int first, int second);
    int HeaderColumnCount() const { return GetColumnCount(); }

    // The tool tip of a row: name, size, date and containing folder on four lines,
    // cut to fit a buffer of `bufferSize` characters (terminator included).
    std::u16string InfoTip(int row, size_t bufferSize = kInfoTipBuffer) const;

    int SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }
    int SortTypeInUse() const { return sortType_; }

  private:
    // Exchanges two rows without telling anyone (the sort tells once at its end).
    void ExchangeRows(size_t first, size_t second);

    int sortColumn_ = -1;
    bool ascending_ = true;
    int sortType_ = SortText;
};
