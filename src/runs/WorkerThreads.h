#pragma once
// Owns the worker threads of a window (folder expansion, runs, run clock).
// Threads are never detached: the owner joins them before it goes, so no worker
// outlives what it updates.
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

class WorkerThreads {
  public:
    WorkerThreads() = default;
    ~WorkerThreads() { JoinAll(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Starts fn on a new thread. Threads that have finished are joined first.
    void Start(std::function<void()> fn);
    // True when no started thread is still running.
    bool AllDone();
    // True when no started thread but `except` (the one asking, say) is running.
    bool AllDoneExcept(std::thread::id except);
    // `fn` runs on the thread that finishes when no other is left running, so the
    // owner learns at once that the workers are done. Set it before any Start.
    void SetOnAllDone(std::function<void()> fn) { onAllDone_ = std::move(fn); }
    // Joins every thread. Must not be called from one of them.
    void JoinAll();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void ReapFinishedLocked();
    std::mutex mutex_;
    std::list<Worker> workers_;
    std::function<void()> onAllDone_;
};
