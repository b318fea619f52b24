// Waiters are woken by what they wait for, never by a timeout running out; and
// files under way at once share syncs without one going on before its data is
// on the device.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/GroupSync.h"
#include "runs/RunState.h"
#include "runs/WorkerThreads.h"

namespace {

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

}  // namespace

TEST(WakeOnEnd, AWorkersEndWakesItsWaiters) {
    WorkerThreads threads;
    ASSERT_GE(threads.EndedFd(), 0);
    EXPECT_FALSE(Readable(threads.EndedFd()));
    std::atomic<bool> go{false};
    threads.Start([&] {
        while (!go.load()) std::this_thread::yield();
    });
    EXPECT_FALSE(Readable(threads.EndedFd())) << "nothing ended yet";
    // A waiter whose deadline is far off is back as soon as the worker ends.
    std::atomic<bool> woken{false};
    std::thread waiter([&] {
        const auto far = std::chrono::steady_clock::now() + std::chrono::hours(1);
        woken = threads.WaitUntil(far, [&] { return threads.AllDone(); });
    });
    go = true;
    waiter.join();
    EXPECT_TRUE(woken.load());
    threads.JoinAll();
    // The descriptor a poll loop watches tells the end too, until drained.
    EXPECT_TRUE(Readable(threads.EndedFd()));
    threads.DrainEndedFd();
    EXPECT_FALSE(Readable(threads.EndedFd()));
    // A worker started and joined from inside Start (a finished one is joined
    // there) while a waiter asks AllDone under its wait: no deadlock.
    for (int i = 0; i < 50; ++i) {
        threads.Start([] {});
        threads.Start([] {});
        (void)threads.WaitUntil(std::chrono::steady_clock::now() + std::chrono::hours(1),
                                [&] { return threads.AllDone(); });
    }
    threads.JoinAll();
}

TEST(WakeOnEnd, RunStateWakesTheClocksWait) {
    RunState state;
    state.stop = false;
    std::atomic<bool> ended{false};
    std::thread clock([&] {
        const auto far = std::chrono::steady_clock::now() + std::chrono::hours(1);
        ended = state.WaitForWake(far, [&] { return state.stop.load(); });
    });
    state.stop = true;
    state.WakeWaiters();
    clock.join();  // a wake that was lost would keep this for an hour
    EXPECT_TRUE(ended.load());
}

TEST(GroupSync, EachFileGoesOnOnlyAfterASyncThatBeganAfterItsWrites) {
    // Each syncfs stands for a slow one; the events are numbered in one sequence.
    std::atomic<int> clock{0};
    struct Sync {
        int began, ended;
    };
    std::mutex m;
    std::vector<Sync> syncs;
    std::atomic<int> arrivals{0};
    constexpr int kThreads = 8, kPasses = 5;
    GroupSync::SetSyncHook([&](int) {
        const int began = ++clock;
        // The first sync lasts until every file has written its first pass, so
        // that they all have to wait for a later one together.
        for (int spin = 0; spin < 2000 && syncs.empty() && arrivals.load() < kThreads; ++spin)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        const int ended = ++clock;
        std::lock_guard<std::mutex> lock(m);
        syncs.push_back({began, ended});
        return true;
    });
    GroupSync group(nullptr);
    struct Call {
        int arrived, left;
        bool ok;
    };
    std::vector<std::vector<Call>> calls(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int pass = 0; pass < kPasses; ++pass) {
                const int arrived = ++clock;
                ++arrivals;
                const bool ok = group.SyncTogether(-1, 1);
                calls[t].push_back({arrived, ++clock, ok});
            }
        });
    for (auto& t : threads) t.join();
    GroupSync::SetSyncHook(nullptr);

    ASSERT_FALSE(syncs.empty());
    EXPECT_LT(syncs.size(), static_cast<size_t>(kThreads * kPasses)) << "no sync was shared";
    EXPECT_EQ(group.SyncsMade(), syncs.size());
    for (int t = 0; t < kThreads; ++t)
        for (const Call& c : calls[t]) {
            EXPECT_TRUE(c.ok);
            bool covered = false;
            for (const Sync& s : syncs) covered |= s.began > c.arrived && s.ended < c.left;
            EXPECT_TRUE(covered) << "thread " << t << " went on at " << c.left
                                 << " with no sync begun after " << c.arrived;
        }

    // A failed sync fails every file that waited for it, and only those.
    std::atomic<bool> fail{true};
    GroupSync::SetSyncHook([&](int) {
        errno = EIO;
        return !fail.load();
    });
    GroupSync failing(nullptr);
    EXPECT_FALSE(failing.SyncTogether(-1, 1));
    fail = false;
    EXPECT_TRUE(failing.SyncTogether(-1, 1));
    // Another file system's files never count as synced by this one's syncfs.
    std::vector<int> synced;
    GroupSync::SetSyncHook([&](int fd) {
        synced.push_back(fd);
        return true;
    });
    GroupSync two(nullptr);
    EXPECT_TRUE(two.SyncTogether(10, 1));
    EXPECT_TRUE(two.SyncTogether(20, 2));
    EXPECT_EQ(synced, (std::vector<int>{10, 20}));
    GroupSync::SetSyncHook(nullptr);
}
