#pragma once
// Owns the worker threads of a window (folder expansion, runs, run clock).
// Threads are never detached: the owner joins them before it goes, so no worker
// outlives what it updates.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

class WorkerThreads {
  public:
    WorkerThreads();
    ~WorkerThreads();
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

    // Waiting for the workers without waiting out a timeout: a waiter is woken the
    // moment a worker ends (or Nudge is called), not at its next look.
    //
    // Waits until `pred` holds or `deadline` passes; `pred` is asked again each
    // time a worker ends or Nudge is called. Returns pred().
    bool WaitUntil(std::chrono::steady_clock::time_point deadline,
                   const std::function<bool()>& pred);
    // Wakes every WaitUntil and makes EndedFd readable, for a waiter whose
    // condition changed other than by a worker's end (say, the stop flag).
    void Nudge();
    // Readable after a worker ended or Nudge was called (an eventfd; read it to
    // clear it): for a waiter that also polls other descriptors. -1 when the
    // system gave none.
    int EndedFd() const { return endedFd_; }
    // Clears EndedFd.
    void DrainEndedFd();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void TakeFinishedLocked(std::list<Worker>& finished);
    std::mutex mutex_;
    std::list<Worker> workers_;
    std::function<void()> onAllDone_;
    std::mutex changeMutex_;
    std::condition_variable changed_;
    int endedFd_ = -1;
};
