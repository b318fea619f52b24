#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/qt/UiThread.h"
#include "ui/MainWindowFixture.h"

namespace {

// Processes events until `done` or about five seconds have passed.
template <class F>
bool PumpUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace

TEST(UiThreadCaller, RunsOnTheUiThreadAndWaits) {
    UiThreadCaller caller;
    // On the UI thread the call runs at once.
    int direct = caller.Get<int>([] { return 41 + 1; }, -1);
    EXPECT_EQ(direct, 42);

    // From a worker it runs on the UI thread, and the worker gets the value back.
    std::atomic<bool> onUi{false};
    std::atomic<int> value{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        value = caller.Get<int>(
            [&] {
                onUi = QThread::currentThread() == QApplication::instance()->thread();
                // A call made from inside a call, on the UI thread: no deadlock.
                return caller.Get<int>([] { return 7; }, -1) * 2;
            },
            -1);
        finished = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(onUi);
    EXPECT_EQ(value, 14);
}

TEST(UiThreadCaller, ShutdownReleasesWaitingWorkersWithoutRunningTheirCalls) {
    UiThreadCaller caller;
    std::atomic<int> ran{0};
    std::atomic<int> returned{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([&] {
            bool ok = caller.Call([&] { ++ran; });
            if (!ok) ++refused;
            ++returned;
        });
    }
    // The UI thread does not process events: the calls stay queued.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(returned, 0);
    caller.Shutdown();
    for (auto& w : workers) w.join();
    EXPECT_EQ(returned, 4);
    EXPECT_EQ(refused, 4);
    QApplication::processEvents();
    EXPECT_EQ(ran, 0) << "a released call never runs later";
    EXPECT_FALSE(caller.Call([&] { ++ran; }));
    EXPECT_EQ(caller.Get<int>([] { return 1; }, 99), 99);
}

TEST(UiThreadCaller, DestroyingTheCallerReleasesWorkers) {
    std::atomic<bool> returned{false};
    std::thread worker;
    {
        UiThreadCaller caller;
        worker = std::thread([&] {
            (void)caller.Call([] {});
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    EXPECT_TRUE(returned);
    QApplication::processEvents();
}

using MainWindowThreads = MainWindowFixture;

TEST_F(MainWindowThreads, ClosingWhileWorkersUpdateTheWindowDoesNotHang) {
    auto dlg = Open();
    dlg->State().stop = false;
    std::atomic<int> appended{0};
    for (int w = 0; w < 3; ++w) {
        dlg->Workers().Start([&, w, window = dlg.get()] {
            int i = 0;
            while (!window->State().stop) {
                window->AppendRow(u"f" + std::u16string(1, char16_t(u'0' + w)), u"1", u"d",
                                  u"/tmp/f");
                window->SetStatusText(u"working");
                window->SetProgressPos(++i % 100);
                (void)window->RowCount();
                ++appended;
            }
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return appended.load() > 50; }));
    dlg->close();  // stores the settings and waits for the workers
    EXPECT_TRUE(dlg->Workers().AllDone());
    EXPECT_GT(dlg->List().GetItemCount(), 50);
    EXPECT_EQ(dlg->List().GetItemCount(), appended.load());
    EXPECT_TRUE(PathExists(SettingsFile()));
}

TEST_F(MainWindowThreads, WorkerCallsAfterTheWindowIsGoneReturnNeutralValues) {
    auto dlg = Open();
    CKelvaneDlg* raw = dlg.get();
    // A worker that is still running when the window is destroyed: the window's
    // destructor joins it while it keeps calling.
    std::atomic<bool> sawStop{false};
    raw->State().stop = false;
    raw->Workers().Start([raw, &sawStop] {
        while (!raw->State().stop) raw->SetClockText(u"00:00:01");
        sawStop = true;
    });
    dlg.reset();
    EXPECT_TRUE(sawStop);
}

TEST_F(MainWindowThreads, RunWindowCallsFromAWorker) {
    auto dlg = Open();
    std::atomic<bool> done{false};
    std::u16string status, row;
    int count = -1, upper = -1, pos = -1;
    bool checked = false;
    AppSettings settings;
    dlg->Workers().Start([&, window = dlg.get()] {
        window->LockForRun();
        window->AppendRow(u"a.txt", u"3", u"2020-01-01 00:00:00", u"/x/a.txt");
        window->SetStatusText(u"Shredding <b>&amp;</b>");
        window->SetProgressRange(10);
        window->SetProgressPos(4);
        status = window->StatusText();
        row = window->RowText(0, 3);
        checked = window->RowChecked(0);
        count = window->RowCount();
        upper = window->ProgressUpper();
        pos = window->ProgressPos();
        settings = window->CurrentSettings();
        window->DeleteRow(0);
        window->UnlockAfterRun();
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    dlg->Workers().JoinAll();
    EXPECT_EQ(status, u"Shredding <b>&amp;</b>") << "status texts are plain";
    EXPECT_EQ(row, u"/x/a.txt");
    EXPECT_TRUE(checked);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(upper, 10);
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(settings.iterations, 5);
    EXPECT_EQ(dlg->List().GetItemCount(), 0);
    EXPECT_FALSE(dlg->IsLocked());
}

// A run hands its changes over without waiting for the window; the window shows
// them soon by itself, and always before it answers the run's next call.
TEST_F(MainWindowThreads, HandedUpdatesNeedNoVisitAndPrecedeTheNextCall) {
    auto dlg = Open();
    for (int i = 0; i < 5; ++i)
        dlg->AppendRow(u"f" + std::u16string(1, char16_t(u'0' + i)), u"1", u"d", u"/x/f");
    dlg->SetProgressRange(10);
    using K = WindowUpdate::Kind;
    std::atomic<bool> handed{false};
    int count = -1, pos = -1;
    std::u16string status, first;
    std::thread worker([&, window = dlg.get()] {
        window->ApplyUpdates({{K::kStatus, 0, u"zero"}});
        handed = true;  // the window's thread has not run an event meanwhile
        (void)window->RowCount();
        // Just shown: these wait for the window's next turn, or for the next call.
        window->ApplyUpdates({{K::kDeleteRow, 0, {}},
                              {K::kStatus, 0, u"one"},
                              {K::kProgressPos, 3, {}},
                              {K::kDeleteRow, 1, {}}});
        count = window->RowCount();
        status = window->StatusText();
        pos = window->ProgressPos();
        first = window->RowText(0, 0);
        window->ApplyUpdates({{K::kStatus, 0, u"two"}, {K::kDeleteRow, 0, {}}});
    });
    QElapsedTimer t;
    t.start();
    while (!handed && t.elapsed() < 5000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(handed.load()) << "the run waited for the window";
    EXPECT_NE(dlg->StatusText(), u"zero") << "nothing shown without a visit";
    EXPECT_TRUE(PumpUntil([&] { return dlg->List().GetItemCount() == 2; }));
    worker.join();
    EXPECT_EQ(count, 3);
    EXPECT_EQ(status, u"one");
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(first, u"f1");
    EXPECT_EQ(dlg->StatusText(), u"two");
    EXPECT_EQ(dlg->List().GetItemText(0, 0), u"f3");
}
