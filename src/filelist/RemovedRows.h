#pragma once
// The rows the user took out of the list with Delete, kept so that Ctrl+Z can put
// them back where they were. Only the last removal is kept.
#include <utility>
#include <vector>

#include "platform/ListCtrl.h"

class RemovedRows {
  public:
    // Takes the selected rows out of the list (or, with none selected, the row
    // `current`) and keeps them in place of the previous removal. Returns how
    // many went; the first row after them is `*next` (clamped to the list).
    int RemoveSelected(CListCtrl& list, int current, int* next = nullptr);
    // Puts the rows of the last removal back at the places they had, ticked as
    // they were; false when there is nothing to put back.
    bool Restore(CListCtrl& list);
    bool Empty() const { return rows_.empty(); }
    void Forget() { rows_.clear(); }

  private:
    std::vector<std::pair<int, CListCtrl::Item>> rows_;  // by their index then, ascending
};
