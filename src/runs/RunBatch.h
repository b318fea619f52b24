#pragma once
// The file run's side of the window, in batches. Rows are read a chunk at a time
// and the run's changes (rows taken out, status texts, progress, log lines) are
// queued and handed to the window together: a few visits to the window's thread
// per second instead of several per file. The window still sees every change, in
// the order the run made it; questions and the end of the run hand everything
// over first.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "runs/RunWindow.h"

class RunBatch {
  public:
    explicit RunBatch(RunWindow& window);
    ~RunBatch();
    RunBatch(const RunBatch&) = delete;
    RunBatch& operator=(const RunBatch&) = delete;

    // Row `row` of the list with every queued change applied. False when there is
    // no such row; the window is asked again at the end of what was read, so rows
    // appended meanwhile are met.
    bool Row(int row, RunRow& out);
    // "Confirm delete" as it stood when the rows were last read.
    bool ConfirmChecked() const { return confirm_; }

    void DeleteRow(int row);
    void SetStatusText(const std::u16string& text);
    void SetProgressPos(int pos);
    void AppendLog(const std::u16string& text);

    // Hands the queued changes to the window now.
    void Flush();

    static constexpr int kRowsPerRead = 512;
    static constexpr size_t kMaxQueued = 1024;
    static constexpr std::chrono::milliseconds kMaxDelay{50};

  private:
    void Queue(WindowUpdate update);

    RunWindow& window_;
    std::vector<WindowUpdate> queued_;
    std::vector<RunRow> rows_;  // rows first_, first_ + 1, ... as last read
    int first_ = 0;
    bool confirm_ = true;
    std::chrono::steady_clock::time_point lastFlush_;
};
