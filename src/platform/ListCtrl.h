#pragma once
// CListCtrl: the row store of a report-style list view with check boxes.
//
// It holds columns (header text, width, alignment) and rows (one text per column,
// check state, item state bits, item data). It has no Qt in it: the Qt view shows
// it through an adapter model that listens to the change notifications below.
// Like a platform list view it is changed only on the thread that owns the window.
//
// A list may hold a million rows, so a row is a small record and its texts lie
// packed in one arena (see RowTextArena.h); texts are unpacked when asked for.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/RowTextArena.h"

class ListCtrlObserver {
  public:
    virtual ~ListCtrlObserver() = default;
    virtual void OnListReset() = 0;                        // columns or everything changed
    virtual void OnRowsInserted(int first, int last) = 0;  // rows [first, last] were added
    virtual void OnRowsRemoved(int first, int last) = 0;   // rows [first, last] went away
    virtual void OnRowsChanged(int first, int last) = 0;   // texts or states of rows changed
};

class CListCtrl {
  public:
    // Item state bits, as the platform list view has them.
    static constexpr uint32_t LVIS_FOCUSED = 0x0001;
    static constexpr uint32_t LVIS_SELECTED = 0x0002;
    static constexpr uint32_t LVIS_CUT = 0x0004;
    static constexpr uint32_t LVIS_DROPHILITED = 0x0008;
    static constexpr uint32_t LVIS_OVERLAYMASK = 0x0F00;
    static constexpr uint32_t LVIS_STATEIMAGEMASK = 0xF000;
    // State image 1 is the unticked box, 2 the ticked one.
    static constexpr uint32_t kUnchecked = 0x1000;
    static constexpr uint32_t kChecked = 0x2000;

    enum class Align { Left, Right, Center };
    struct Column {
        std::u16string header;
        int width = 0;
        Align align = Align::Left;
    };
    struct Item {
        std::vector<std::u16string> texts;
        uint32_t state = kUnchecked;
        intptr_t data = 0;
        int image = 0;
    };

    CListCtrl() = default;
    virtual ~CListCtrl() = default;
    CListCtrl(const CListCtrl&) = delete;
    CListCtrl& operator=(const CListCtrl&) = delete;

    void SetObserver(ListCtrlObserver* observer) { observer_ = observer; }

    // Columns (the header).
    int InsertColumn(int index, const std::u16string& header, Align align = Align::Left,
                     int width = 0);
    bool DeleteColumn(int index);
    int GetColumnCount() const { return static_cast<int>(columns_.size()); }
    const Column& GetColumn(int index) const { return columns_.at(index); }
    bool SetColumnWidth(int index, int width);

    // Rows.
    int GetItemCount() const { return static_cast<int>(rows_.size()); }
    int InsertItem(int index, const std::u16string& text);  // returns the new index or -1
    bool DeleteItem(int index);
    bool DeleteAllItems();
    std::u16string GetItemText(int row, int column) const;
    bool SetItemText(int row, int column, const std::u16string& text);
    bool GetCheck(int row) const;
    bool SetCheck(int row, bool checked = true);
    uint32_t GetItemState(int row, uint32_t mask) const;
    bool SetItemState(int row, uint32_t state, uint32_t mask);
    intptr_t GetItemData(int row) const;
    bool SetItemData(int row, intptr_t data);

    // Many rows in one step, with one notification each: a list of 100000 rows
    // must not be changed row by row.
    // Appends the items (in order) and returns the index of the first.
    int AppendItems(std::vector<Item> items);
    // Appends the rows of a batch packed on another thread, each with `state`;
    // returns the index of the first.
    int AppendBatch(RowTextArena::Batch&& batch, uint32_t state);
    // Removes `count` rows from `first` (as far as there are rows).
    bool DeleteItemRange(int first, int count);
    // Removes every row whose check box is ticked; the others keep their order.
    // Returns the number removed.
    int DeleteCheckedItems();
    // Removes every selected row (LVIS_SELECTED) in the same one pass.
    int DeleteSelectedItems();
    // Ticks every box, or turns every box over.
    void SetCheckAll(bool checked);
    void InvertChecks();

    // Whole item record (state masked with `mask`, image and data), for moving rows.
    Item GetItem(int row) const;
    // The bytes the rows' texts take (what an arena holds, waste included).
    size_t TextBytesHeld() const { return texts_.BytesHeld(); }
    bool SetItemRecord(int row, const Item& record, uint32_t mask);

  protected:
    struct Row {
        RowTextArena::Ref text = RowTextArena::kNone;
        uint32_t state = kUnchecked;
        int32_t image = 0;
        intptr_t data = 0;
    };

    void NotifyChanged(int first, int last);
    // Removes every row whose state, masked with `mask`, equals `value`.
    int DeleteItemsWithState(uint32_t mask, uint32_t value);
    // Rows [first, last) are about to go: their texts become waste.
    void ReleaseTexts(size_t first, size_t last);
    // Rewrites the texts of every row into a fresh arena once the waste of
    // removed and changed rows outgrows what is in use.
    void CompactIfWasteful();

    std::vector<Column> columns_;
    std::deque<Row> rows_;  // a run takes rows off the front one batch after another
    RowTextArena texts_;
    ListCtrlObserver* observer_ = nullptr;
};
