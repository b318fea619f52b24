#pragma once
// The verdicts of the list's rows, for their tool tips and marks: each path is
// looked at once and remembered until the list's owner forgets them all (after a
// run, when files may have changed).
#include <string>
#include <unordered_map>

#include "runs/RunSummary.h"

class RowVerdicts {
  public:
    const EntryVerdict& Of(const std::u16string& path);
    void Clear();

  private:
    // A long-lived window must not grow without end; looking again is cheap.
    static constexpr size_t kMaxRemembered = 20000;
    std::unordered_map<std::u16string, EntryVerdict> known_;
    storage::DeviceFactsCache devices_;
};
