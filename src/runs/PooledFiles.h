#pragma once
// The small files of a file run that go to the pool of files at once while
// nothing is asked before each. Their outcomes are still dealt with in list
// order: the run waits for them in the order it handed them over.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/ConfinedPath.h"
#include "runs/FilePoolChoice.h"
#include "runs/ShredPool.h"

struct FileRunContext;
struct RunRow;

class PooledFiles {
  public:
    explicit PooledFiles(FileRunContext& run);
    ~PooledFiles();
    PooledFiles(const PooledFiles&) = delete;
    PooledFiles& operator=(const PooledFiles&) = delete;

    // The listed size with which `row` may go to the pool, or -1.
    int64_t SizeOf(const RunRow& row, bool folderRow) const;
    // Whether the row goes to the pool; the first that does starts it.
    bool Takes(const fsys::Root& root, const std::u16string& path, int64_t poolSize);
    // Hands the row at `run.i` over, after ending the first ones handed while the
    // pool holds as much as it may.
    void Hand(const std::u16string& path, const fsys::Root& root, int64_t poolSize);
    // Ends every row handed over, in list order; whatever is done to a row not
    // pooled comes after everything before it.
    void FinishAll();
    // Joins the pool's threads; everything handed over has been finished.
    void Reset() { pool_.reset(); }

  private:
    void FinishFirst();

    // The rows handed to the pool, with their indexes as they stand now.
    struct Handed {
        std::shared_ptr<FileJob> job;
        int row;
        int64_t bytes;
    };
    FileRunContext& run_;
    std::unique_ptr<ShredPool> pool_;
    PoolPlaces poolPlaces_;
    const PoolSetting filesAtOnce_;
    bool poolFailed_ = false;
    int64_t handedBytes_ = 0;
    std::deque<Handed> handed_;
};
