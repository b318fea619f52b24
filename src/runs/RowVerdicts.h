#pragma once
// The verdicts of the list's rows, for their tool tips and marks. Working one out
// reads the file's extents and the devices under it, which on a mount that does
// not answer never returns; so the owner (the window) only asks and collects:
// each path is looked at once on a thread of its own, and a look that takes
// longer than the bound is given up as "not answering" (that thread is left to
// its call, see BoundedCall.h). Verdicts are remembered until the owner forgets
// them all (after a run, when files may have changed).
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/BoundedCall.h"
#include "runs/RunSummary.h"

class RowVerdicts {
  public:
    struct Known {
        EntryVerdict verdict;
        bool notAnswering = false;  // its drive did not answer in time: no verdict
    };

    explicit RowVerdicts(std::chrono::milliseconds bound = bounded::kAnswerBound);
    ~RowVerdicts();
    RowVerdicts(const RowVerdicts&) = delete;
    RowVerdicts& operator=(const RowVerdicts&) = delete;

    // The verdict when known; nullptr while it is being worked out (asking starts
    // that). Never waits.
    const Known* Find(const std::u16string& path);
    // Takes in what the lookers found and gives up looks that took too long;
    // true when any verdict became known. Call it while Pending().
    bool Collect();
    bool Pending() const { return !asked_.empty(); }
    void Clear();

  private:
    struct Shared;
    void StartLooker();

    // A long-lived window must not grow without end; looking again is cheap.
    static constexpr size_t kMaxRemembered = 20000;
    std::chrono::milliseconds bound_;
    std::shared_ptr<Shared> shared_;
    std::unordered_map<std::u16string, Known> known_;
    std::unordered_set<std::u16string> asked_;
    // Folders of a look that was given up: what lies there waits no more.
    std::vector<std::u16string> deadFolders_;
};
