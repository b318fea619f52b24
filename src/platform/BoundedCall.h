#pragma once
// Calls that touch a mount, made so that a mount that never answers cannot hold
// up the caller.
//
// A file system call on a dead mount (an NFS server gone, a FUSE daemon stuck)
// may wait for ever, and nothing can call it back: the thread stays in the kernel
// until the mount answers or is aborted. So such calls run on a thread of their
// own, and the caller waits at most a bound. A thread that is still in its call
// after the bound is left behind: it is kept in a list and joined the moment it
// finishes (at the next start of such a call); only a thread still stuck when the
// program ends is never joined, and the end of the process takes it along. The
// call must therefore own everything it touches (capture by value, shared
// pointers), never the caller's stack or a window.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace bounded {

// How long a drive may take to answer one look before it counts as not answering.
constexpr std::chrono::milliseconds kAnswerBound{2000};

// Starts fn on a thread of its own and returns at once.
void Start(std::function<void()> fn);

// Runs fn on such a thread and waits at most `bound`: true when it ended in time.
bool RunWithin(std::function<void()> fn, std::chrono::milliseconds bound = kAnswerBound);

// The value of fn(), or nothing when it did not end within `bound`.
template <class T>
std::optional<T> CallWithin(std::function<T()> fn, std::chrono::milliseconds bound = kAnswerBound) {
    struct Box {
        std::mutex mutex;
        std::optional<T> value;
    };
    auto box = std::make_shared<Box>();
    const bool ended = RunWithin(
        [box, fn = std::move(fn)] {
            T v = fn();
            std::lock_guard<std::mutex> lock(box->mutex);
            box->value = std::move(v);
        },
        bound);
    if (!ended) return std::nullopt;
    std::lock_guard<std::mutex> lock(box->mutex);
    return std::move(box->value);
}

// Threads started here that have not ended yet (stuck ones included).
size_t RunningCount();

}  // namespace bounded
