// One window per user and display: a later start hands its files to the open
// window over a private local socket and ends.
#include <fcntl.h>
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

// A later start names its paths itself: in a working folder that was removed or
// lies deeper than PATH_MAX, "etc" and "notes.txt" are not handed over as "/etc"
// and "/notes.txt" but reported on its own terminal; "/proc/self/cwd/x.txt" is
// its own working folder's file, not the window's.
TEST_F(SingleWindow, ALaterStartHandsOverOnlyPathsItCouldName) {
    dir_.MakeDir("runtime");
    ::chmod(dir_.Sub("runtime").c_str(), 0700);
    dir_.MakeDir("here");
    dir_.WriteFile("here/x.txt", "x");
    const QString display = QStringLiteral(":kelvane-hand-") + QString::number(::getpid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.Sub("runtime")));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir_.Sub("home/.config")));
    // The socket the later start looks for: named as it names it.
    const QByteArray oldDisplay = qgetenv("DISPLAY"), oldWayland = qgetenv("WAYLAND_DISPLAY"),
                     oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("DISPLAY", display.toUtf8());
    qunsetenv("WAYLAND_DISPLAY");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir_.Sub("runtime")));
    SingleInstance window(SingleInstance::DefaultSocketPath());
    qputenv("DISPLAY", oldDisplay);
    qputenv("WAYLAND_DISPLAY", oldWayland);
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    if (oldWayland.isEmpty()) qunsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(window.Listen());
    std::vector<QStringList> received;
    QObject::connect(&window, &SingleInstance::PathsReceived,
                     [&](const QStringList& paths) { received.push_back(paths); });

    // A folder deeper than PATH_MAX, made one step at a time.
    const std::string step(200, 'd');
    int depth = 0;
    {
        int fd = ::open(dir_.Path().c_str(), O_RDONLY | O_DIRECTORY);
        for (; depth * (step.size() + 1) < 4200; ++depth) {
            ASSERT_EQ(::mkdirat(fd, step.c_str(), 0700), 0);
            const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            ASSERT_GE(fd, 0);
        }
        ::close(fd);
    }
    struct Start {
        int exitCode = -1;
        QString err;
        QStringList handed;
    };
    auto secondStart = [&](const QString& script) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(QString::fromStdString(dir_.Path()));
        const size_t before = received.size();
        second.start("/bin/bash", {"-c", script, "bash", QString::fromStdString(KELVANE_EXE)});
        Start out;
        // bash, as dash cannot step into a folder deeper than PATH_MAX.
        // The window must keep answering while the other start talks to it.
        EXPECT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }));
        out.exitCode = second.exitCode();
        out.err = QString::fromUtf8(second.readAllStandardError());
        EXPECT_TRUE(WaitFor([&] { return received.size() > before; })) << out.err.toStdString();
        if (received.size() > before) out.handed = received.back();
        return out;
    };

    const Start removed =
        secondStart("mkdir gone && cd gone && rmdir ../gone && exec \"$1\" etc notes.txt");
    EXPECT_TRUE(removed.handed.isEmpty()) << removed.handed.join(' ').toStdString();
    EXPECT_TRUE(removed.err.contains("etc: not handed to the open window: its folder was removed"))
        << removed.err.toStdString();
    EXPECT_TRUE(removed.err.contains("notes.txt: not handed")) << removed.err.toStdString();
    EXPECT_EQ(removed.exitCode, 1);

    const Start deep = secondStart(QStringLiteral("for i in $(seq %1); do cd %2 || exit 9; done; "
                                                  "exec \"$1\" etc notes.txt")
                                       .arg(depth)
                                       .arg(QString::fromStdString(step)));
    EXPECT_TRUE(deep.handed.isEmpty()) << deep.handed.join(' ').toStdString();
    EXPECT_TRUE(
        deep.err.contains("etc: not handed to the open window: its folder's path is too long"))
        << deep.err.toStdString();
    EXPECT_EQ(deep.exitCode, 1);

    const Start own = secondStart("cd here && exec \"$1\" /proc/self/cwd/x.txt");
    EXPECT_EQ(own.handed, QStringList{QString::fromStdString(dir_.Sub("here/x.txt"))})
        << own.err.toStdString();
    EXPECT_EQ(own.exitCode, 0) << own.err.toStdString();
}
