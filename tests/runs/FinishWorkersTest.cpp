#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "runs/FileRunFixture.h"
#include "runs/FinishWorkers.h"
#include "runs/ShredPool.h"

namespace {

// Stands in for the UI thread's event queue: a worker's call into the window is
// posted here and the worker waits until the owner thread has run it.
class CallQueue {
  public:
    void RunOnOwner(const std::function<void()>& call) {
        std::unique_lock<std::mutex> l(m_);
        bool done = false;
        pending_.push_back([&] {
            call();
            std::lock_guard<std::mutex> g(m_);
            done = true;
            cv_.notify_all();
        });
        cv_.wait(l, [&] { return done; });
    }
    // Runs what is pending; called on the owner thread.
    void Serve() {
        std::deque<std::function<void()>> now;
        {
            std::lock_guard<std::mutex> l(m_);
            now.swap(pending_);
        }
        for (auto& c : now) c();
        ++served;
    }
    int served = 0;

  private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> pending_;
};

// A window whose every list and status call must be served by the owner thread,
// as the real window's are.
class QueuedWindow : public HookedWindow {
  public:
    explicit QueuedWindow(CallQueue& q) : q_(q) {}
    int RowCount() override {
        int n = 0;
        q_.RunOnOwner([&] { n = HookedWindow::RowCount(); });
        return n;
    }
    void SetStatusText(const std::u16string& text) override {
        q_.RunOnOwner([&] { HookedWindow::SetStatusText(text); });
    }
    void DeleteRow(int row) override {
        q_.RunOnOwner([&] { HookedWindow::DeleteRow(row); });
    }

  private:
    CallQueue& q_;
};

}  // namespace

TEST_F(FileRunTest, ClosingDuringARunStopsTheEntryWithoutDeadlock) {
    CallQueue queue;
    QueuedWindow queued(queue);
    queued.settings.confirm = 0;
    queued.iterationsText = u"1";
    // Large, so one at a time; the first is held until the window closes.
    for (int i = 0; i < 4; ++i)
        queued.AddRow(File("w/f" + std::to_string(i) + ".bin", std::string(2 << 20, 'd')));
    SetBeforeFileJobHook([&](const std::u16string&) {
        for (int waited = 0; !state.stop && waited < 10000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    std::promise<void> started;
    bool signalled = false;
    queued.onStatus = [&](const std::u16string&) {
        if (!signalled) {
            signalled = true;
            started.set_value();
        }
    };

    WorkerThreads threads;
    // Starting asks the window for the row count, so the owner serves meanwhile.
    std::thread starter([&] { StartFileRun(threads, queued, state); });
    auto startedFuture = started.get_future();
    while (startedFuture.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        queue.Serve();
    starter.join();

    // Close: the worker is inside its first entry and keeps calling the window.
    FinishWorkers(threads, state, [&] { queue.Serve(); });
    EXPECT_TRUE(threads.AllDone());
    EXPECT_GT(queue.served, 0);
    EXPECT_TRUE(state.stop);
    // The entry under way stopped as with Stop: left in place, and its row too.
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(Exists("w/f" + std::to_string(i) + ".bin"));
    EXPECT_EQ(queued.Paths().size(), 4u);
    EXPECT_EQ(queued.status, Interrupted());
    EXPECT_EQ(queued.unlockCalls, 1);
    SetBeforeFileJobHook(nullptr);
}

TEST(FinishWorkers, NothingRunningReturnsAtOnce) {
    WorkerThreads threads;
    RunState state;
    state.stop = false;
    int served = 0;
    FinishWorkers(threads, state, [&] { ++served; });
    EXPECT_TRUE(state.stop);
    EXPECT_EQ(served, 0);
}
