// One window per user and display: a later start hands its files to the open
// window over a private local socket and ends.
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "config/TextConv.h"
#include "platform/qt/QtText.h"
#include "platform/qt/SingleInstance.h"
#include "ui/MainWindowFixture.h"

namespace {

class SingleWindow : public MainWindowFixture {
  protected:
    // Runs HandOver on another thread (as a second process would) while this one
    // serves the window.
    bool HandOverFromAnotherStart(const QString& socket, const QStringList& paths) {
        std::atomic<bool> finished{false};
        bool handed = false;
        std::thread second([&] {
            handed = SingleInstance(socket).HandOver(paths);
            finished = true;
        });
        WaitUntil([&] { return finished.load(); }, 30000);
        second.join();
        return handed;
    }
    // A loaded machine may keep the other start waiting for a while.
    static bool WaitFor(const std::function<bool()>& done) { return WaitUntil(done, 30000); }
};

}  // namespace

TEST_F(SingleWindow, ALaterStartHandsItsFilesToTheOpenWindow) {
    dir_.MakeDir("run");
    dir_.MakeDir("data");
    dir_.MakeDir("data/folder");
    dir_.WriteFile("data/a.txt", "a");
    dir_.WriteFile("data/folder/b.txt", "b");
    dir_.WriteFile("data/folder/c.txt", "c");
    const QString socket = QString::fromStdString(dir_.Sub("run/k.socket"));

    auto dlg = Open();
    SingleInstance first(socket);
    ASSERT_TRUE(first.Listen());
    struct stat st {};
    ASSERT_EQ(::stat(dir_.Sub("run/k.socket").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u) << "the socket is private to its user";
    QObject::connect(&first, &SingleInstance::PathsReceived, dlg.get(),
                     [&](const QStringList& paths) {
                         std::vector<std::u16string> wide;
                         for (const QString& p : paths) wide.push_back(FromQ(p));
                         dlg->TakeHandedPaths(wide);
                     });
    EXPECT_FALSE(SingleInstance(socket).Listen()) << "a live window keeps its socket";

    ASSERT_TRUE(
        HandOverFromAnotherStart(socket, {QString::fromStdString(dir_.Sub("data/a.txt")),
                                          QString::fromStdString(dir_.Sub("data/folder"))}));
    EXPECT_TRUE(
        WaitFor([&] { return dlg->List().GetItemCount() == 4 && dlg->Workers().AllDone(); }));
    std::set<std::u16string> names;
    for (int i = 0; i < dlg->List().GetItemCount(); ++i)
        names.insert(dlg->List().GetItemText(i, 0));
    EXPECT_EQ(names, (std::set<std::u16string>{u"a.txt", u"folder/", u"b.txt", u"c.txt"}));

    // A run holds the list: the files join after it.
    dlg->LockForRun();
    ASSERT_TRUE(HandOverFromAnotherStart(socket, {QString::fromStdString(dir_.Sub("data/a.txt"))}));
    QTest::qWait(50);
    EXPECT_EQ(dlg->List().GetItemCount(), 4);
    dlg->UnlockAfterRun();
    // Only the handed file joins: the folder listed before is not listed again.
    EXPECT_TRUE(WaitFor([&] {
        return dlg->List().GetItemCount() == 5 && dlg->Workers().AllDone();
    })) << dlg->List().GetItemCount();

    // Not this user's socket: nobody is spoken to, nothing is removed.
    const std::string foreign = dir_.Sub("run/foreign.socket");
    dir_.WriteFile("run/foreign.socket", "x");
    ASSERT_EQ(::chown(foreign.c_str(), 12345, 12345), 0);
    EXPECT_FALSE(SingleInstance(QString::fromStdString(foreign)).HandOver({}));
    EXPECT_FALSE(SingleInstance(QString::fromStdString(foreign)).Listen());
    EXPECT_EQ(::stat(foreign.c_str(), &st), 0);
    // Nobody listening: the start opens its own window.
    EXPECT_FALSE(SingleInstance(QString::fromStdString(dir_.Sub("run/none.socket"))).HandOver({}));
}

TEST_F(SingleWindow, SecondProgramHandsOverAndEndsWithZero) {
    dir_.MakeDir("runtime");
    ::chmod(dir_.Sub("runtime").c_str(), 0700);
    dir_.WriteFile("x.txt", "x");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":kelvane-test-" + QString::number(::getpid()));
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.Sub("runtime")));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir_.Sub("home/.config")));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(KELVANE_EXE, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const bool listening = WaitFor([&] {
        return std::filesystem::exists(dir_.Sub("runtime")) &&
               !std::filesystem::is_empty(dir_.Sub("runtime"));
    });
    EXPECT_TRUE(listening) << "the first window listens";

    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(dir_.Path()));
    second.start(KELVANE_EXE, {"x.txt"});
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first window stays";
    first.kill();
    first.waitForFinished(5000);
}
