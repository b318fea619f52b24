#include "runs/RunBatch.h"

#include <utility>

RunBatch::RunBatch(RunWindow& window)
    : window_(window), lastFlush_(std::chrono::steady_clock::now()) {}

RunBatch::~RunBatch() {
    Flush();
}

bool RunBatch::Row(int row, RunRow& out) {
    const auto held = static_cast<int>(rows_.size());
    if (row < first_ || row >= first_ + held) {
        // The window must see our changes before we read from it: the indexes
        // below count the rows as they stand with everything applied.
        Flush();
        window_.ReadRows(row, kRowsPerRead, rows_, confirm_);
        first_ = row;
        if (rows_.empty()) return false;
    }
    out = rows_[static_cast<size_t>(row - first_)];
    return true;
}

void RunBatch::DeleteRow(int row) {
    if (row < first_)
        --first_;  // the rows read move up with the rest
    else if (row < first_ + static_cast<int>(rows_.size()))
        rows_.erase(rows_.begin() + (row - first_));
    Queue({WindowUpdate::Kind::kDeleteRow, row, {}});
}

void RunBatch::SetStatusText(const std::u16string& text) {
    Queue({WindowUpdate::Kind::kStatus, 0, text});
}

void RunBatch::SetProgressPos(int pos) {
    Queue({WindowUpdate::Kind::kProgressPos, pos, {}});
}

void RunBatch::AppendLog(const std::u16string& text) {
    Queue({WindowUpdate::Kind::kLog, 0, text});
}

void RunBatch::Queue(WindowUpdate update) {
    queued_.push_back(std::move(update));
    // Often enough that the window keeps moving while the run works.
    if (queued_.size() >= kMaxQueued || std::chrono::steady_clock::now() - lastFlush_ >= kMaxDelay)
        Flush();
}

void RunBatch::Flush() {
    lastFlush_ = std::chrono::steady_clock::now();
    if (queued_.empty()) return;
    window_.ApplyUpdates(queued_);
    queued_.clear();
}
