#include "platform/BoundedCall.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <thread>

namespace bounded {
namespace {

struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
};

struct Registry {
    std::mutex mutex;
    std::list<Worker> workers;
};

// Never destroyed: a std::thread still joinable at its destruction ends the
// program, and a thread stuck on a dead mount cannot be joined at exit.
Registry& Threads() {
    static Registry* registry = new Registry;
    return *registry;
}

void JoinFinishedLocked(Registry& r) {
    for (auto it = r.workers.begin(); it != r.workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = r.workers.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

void Start(std::function<void()> fn) {
    Registry& r = Threads();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard<std::mutex> lock(r.mutex);
    JoinFinishedLocked(r);
    r.workers.push_back({std::thread([fn = std::move(fn), done] {
                             fn();
                             done->store(true);
                         }),
                         done});
}

bool RunWithin(std::function<void()> fn, std::chrono::milliseconds bound) {
    struct Signal {
        std::mutex mutex;
        std::condition_variable cv;
        bool ended = false;
    };
    auto signal = std::make_shared<Signal>();
    Start([signal, fn = std::move(fn)] {
        fn();
        std::lock_guard<std::mutex> lock(signal->mutex);
        signal->ended = true;
        signal->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(signal->mutex);
    return signal->cv.wait_for(lock, bound, [&] { return signal->ended; });
}

size_t RunningCount() {
    Registry& r = Threads();
    std::lock_guard<std::mutex> lock(r.mutex);
    JoinFinishedLocked(r);
    return r.workers.size();
}

}  // namespace bounded
