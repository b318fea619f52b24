#pragma once
// Runs calls of worker threads on the UI thread and waits for them, like a sent
// window message. On the UI thread itself the call runs directly (no deadlock).
// Once Shutdown() has run (the window is going), calls return at once without
// running, and calls still waiting are released, so a worker can never hang on a
// window that is gone. The owner must keep processing events while it waits for
// its workers (see CKelvaneDlg::JoinWorkers).
#include <QObject>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

class UiThreadCaller {
  public:
    // Construct on the UI thread: queued calls run through an object of this thread.
    UiThreadCaller();
    ~UiThreadCaller();
    UiThreadCaller(const UiThreadCaller&) = delete;
    UiThreadCaller& operator=(const UiThreadCaller&) = delete;

    // True when the current thread is the UI thread.
    static bool OnUiThread();

    // Runs fn on the UI thread and waits. Returns false when it did not run.
    bool Call(const std::function<void()>& fn);

    // Runs fn on the UI thread later, without waiting (at once on the UI thread).
    // Calls run in the order posted, and before any Call made after them; once
    // Shutdown() has run, they are dropped.
    void Post(std::function<void()> fn);

    // The value of fn(), or `fallback` when it could not run.
    template <class T, class F>
    T Get(F&& fn, T fallback) {
        std::optional<T> out;
        Call([&] { out = fn(); });
        return out ? std::move(*out) : std::move(fallback);
    }

    // `fn` runs on the UI thread before each call of another thread (Call, Get), so
    // such a call can first show what was handed over without a call of its own.
    // Set it before any worker starts.
    void SetBeforeCall(std::function<void()> fn) { beforeCall_ = std::move(fn); }

    // Refuses further calls and releases every caller still waiting. UI thread only.
    void Shutdown();
    bool IsShutDown();

  private:
    struct Pending {
        bool running = false;
        bool done = false;
        bool ran = false;
    };
    std::unique_ptr<QObject> context_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool shutDown_ = false;
    std::list<std::shared_ptr<Pending>> pending_;
    std::function<void()> beforeCall_;
};
