#include "runs/WorkerThreads.h"

void WorkerThreads::Start(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    ReapFinishedLocked();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([this, fn = std::move(fn), done] {
        fn();
        done->store(true);
        if (onAllDone_ && AllDone()) onAllDone_();
    });
    workers_.push_back(Worker{std::move(t), done});
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

void WorkerThreads::ReapFinishedLocked() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            if (it->thread.joinable()) it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}
