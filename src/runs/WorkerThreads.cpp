#include "runs/WorkerThreads.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

WorkerThreads::WorkerThreads() : endedFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WorkerThreads::~WorkerThreads() {
    JoinAll();
    if (endedFd_ >= 0) ::close(endedFd_);
}

void WorkerThreads::Start(std::function<void()> fn) {
    std::list<Worker> finished;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        TakeFinishedLocked(finished);
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread t([this, fn = std::move(fn), done] {
            fn();
            done->store(true);
            if (onAllDone_ && AllDone()) onAllDone_();
            Nudge();
        });
        workers_.push_back(Worker{std::move(t), done});
    }
    // Joined outside the lock: a finished thread may still be waking the waiters,
    // and a waiter's condition may be asking AllDone.
    for (auto& w : finished)
        if (w.thread.joinable()) w.thread.join();
}

bool WorkerThreads::AllDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& w : workers_)
        if (!w.done->load()) return false;
    return true;
}

bool WorkerThreads::AllDoneExcept(std::thread::id except) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& w : workers_)
        if (!w.done->load() && w.thread.get_id() != except) return false;
    return true;
}

void WorkerThreads::JoinAll() {
    std::list<Worker> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all.swap(workers_);
    }
    for (auto& w : all)
        if (w.thread.joinable()) w.thread.join();
}

void WorkerThreads::TakeFinishedLocked(std::list<Worker>& finished) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        auto next = std::next(it);
        if (it->done->load()) finished.splice(finished.end(), workers_, it);
        it = next;
    }
}

bool WorkerThreads::WaitUntil(std::chrono::steady_clock::time_point deadline,
                              const std::function<bool()>& pred) {
    std::unique_lock<std::mutex> lock(changeMutex_);
    // The predicate reads atomics and this object's own lock, never changeMutex_,
    // so asking it under the lock closes the gap between a look and the wait.
    return changed_.wait_until(lock, deadline, pred);
}

void WorkerThreads::Nudge() {
    { std::lock_guard<std::mutex> lock(changeMutex_); }
    changed_.notify_all();
    if (endedFd_ >= 0) {
        const uint64_t one = 1;
        (void)!::write(endedFd_, &one, sizeof one);
    }
}

void WorkerThreads::DrainEndedFd() {
    uint64_t n = 0;
    if (endedFd_ >= 0) (void)!::read(endedFd_, &n, sizeof n);
}
