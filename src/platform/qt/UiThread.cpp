#include "platform/qt/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

UiThreadCaller::UiThreadCaller() : context_(std::make_unique<QObject>()) {}

UiThreadCaller::~UiThreadCaller() {
    Shutdown();
    // Deleting the context drops the queued calls that never ran.
    context_.reset();
}

bool UiThreadCaller::OnUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool UiThreadCaller::Call(const std::function<void()>& fn) {
    if (OnUiThread()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (shutDown_) return false;
        }
        fn();
        return true;
    }
    auto state = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutDown_) return false;
        pending_.push_back(state);
    }
    // The queued functor runs on the context's thread. It holds the state by
    // shared pointer, so a call released by Shutdown leaves nothing dangling; and
    // once released it must not run any more, since the caller's `fn` is gone.
    // A call that is running is never released: its caller still owns `fn`.
    bool posted = QMetaObject::invokeMethod(
        context_.get(),
        [this, state, &fn] {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (state->done) return;
                state->running = true;
            }
            if (beforeCall_) beforeCall_();
            fn();
            std::lock_guard<std::mutex> lock(mutex_);
            state->done = true;
            state->ran = true;
            pending_.remove(state);
            cv_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    if (!posted) {
        pending_.remove(state);
        return false;
    }
    cv_.wait(lock, [&] { return state->done; });
    return state->ran;
}

void UiThreadCaller::Post(std::function<void()> fn) {
    if (IsShutDown()) return;
    if (OnUiThread()) {
        fn();
        return;
    }
    // Queued through the same context as Call, so the order holds; deleting the
    // context drops what has not run.
    QMetaObject::invokeMethod(
        context_.get(),
        [this, fn = std::move(fn)] {
            if (!IsShutDown()) fn();
        },
        Qt::QueuedConnection);
}

void UiThreadCaller::Shutdown() {
    std::lock_guard<std::mutex> lock(mutex_);
    shutDown_ = true;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if ((*it)->running) {
            ++it;
            continue;
        }
        (*it)->done = true;
        it = pending_.erase(it);
    }
    cv_.notify_all();
}

bool UiThreadCaller::IsShutDown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shutDown_;
}
