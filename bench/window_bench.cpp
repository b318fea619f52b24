// The main window with a large list, against references taken in the same run:
//   window shown       time from the start of the process to the shown window
//   Add folder         a folder of FILES files listed in the window  /  a bare walk of it
//                      with the largest gap between two turns of the event loop
//   Stop               from the click on Stop during such a listing to the unlocked window
//   Select all, Invert, Remove (every other row) on the full list
//   peak memory        of the process with the full list
// Usage: window_bench [files=100000] [dir=/var/tmp]
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "ui/FileDialogs.h"
#include "ui/KelvaneDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Seconds since this process was started (from the boot-relative start time).
double ProcessAge() {
    std::ifstream stat("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), {});
    std::size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long start = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i)
        if (i == 22) start = std::stoull(field);
    std::ifstream uptime("/proc/uptime");
    double up = 0;
    uptime >> up;
    return up - static_cast<double>(start) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Serves the window until `done`, and records the longest time the event loop was away.
template <class Done>
double ServeUntil(Done done, double& longestGap) {
    const auto start = Clock::now();
    auto last = Clock::now();
    longestGap = 0;
    while (!done()) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        const auto now = Clock::now();
        longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
        last = now;
    }
    return Since(start);
}

double WalkSeconds(const std::string& folder, long& files) {
    const auto start = Clock::now();
    FileOps ops;
    WalkOptions o;
    o.startFolder = WideFromUtf8(folder);
    o.reportEmptyFolders = true;
    o.fillSizeAndTime = false;
    ops.WalkConfigure(o);
    std::u16string path;
    int64_t size = 0, time = 0;
    files = 0;
    for (bool more = ops.WalkFirst(path, size, time); more; more = ops.WalkNext(path, size, time))
        if (!path.empty() && path.back() != u'/') ++files;
    return Since(start);
}

template <class Fn>
double Timed(Fn fn) {
    const auto start = Clock::now();
    fn();
    QApplication::processEvents();  // the views catch up within the same turn
    return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    const double ageAtMain = ProcessAge();
    const long files = argc > 1 ? std::atol(argv[1]) : 100000;
    const std::string base = argc > 2 ? argv[2] : "/var/tmp";
    if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    const std::string work = base + "/kelvane-window-" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(work + "home");
    std::filesystem::create_directories(work + "program");
    std::filesystem::create_directories(work + "all");

    int qargc = 1;
    QApplication app(qargc, argv);
    double shown = 0;
    {
        CKelvaneDlg dlg(StorageLocations{work + "program/", work + "home/", work + "all/"});
        dlg.show();
        double gap = 0;
        ServeUntil([&] { return dlg.isVisible(); }, gap);
        QApplication::processEvents();
        shown = Since(start) + std::max(0.0, ageAtMain);

        // The tree: 100 folders of files/100 empty files each.
        const std::string tree = work + "tree/";
        for (long i = 0; i < files; ++i) {
            const std::string folder = tree + "d" + std::to_string(i % 100) + "/";
            if (i < 100) std::filesystem::create_directories(folder);
            std::ofstream(folder + "file" + std::to_string(i));
        }
        long walked = 0;
        WalkSeconds(tree, walked);  // the folders into the cache for both
        const double walk = WalkSeconds(tree, walked);

        FileDialogs::SetNextFolder(QString::fromUtf8(tree));
        auto begin = Clock::now();
        dlg.OnCommand(CKelvaneDlg::ID_ADD_FOLDER);
        double addGap = 0;
        double add = ServeUntil([&] { return !dlg.IsLocked(); }, addGap);
        add = Since(begin);
        const int rows = dlg.List().GetItemCount();
        const long peak = PeakKiB();

        // Stop during a second listing of the same tree, once rows have arrived.
        FileDialogs::SetNextFolder(QString::fromUtf8(tree));
        dlg.OnCommand(CKelvaneDlg::ID_ADD_FOLDER);
        double unused = 0;
        ServeUntil([&] { return dlg.List().GetItemCount() > rows + 1000 || !dlg.IsLocked(); },
                   unused);
        begin = Clock::now();
        qobject_cast<QPushButton*>(dlg.Control(CKelvaneDlg::IDC_STOP))->click();
        ServeUntil([&] { return !dlg.IsLocked(); }, unused);
        const double stop = Since(begin);
        dlg.OnCommand(CKelvaneDlg::ID_CLEAR_LIST);
        FileDialogs::SetNextFolder(QString::fromUtf8(tree));
        dlg.OnCommand(CKelvaneDlg::ID_ADD_FOLDER);
        ServeUntil([&] { return !dlg.IsLocked(); }, unused);

        const int n = dlg.List().GetItemCount();
        const double selectAll = Timed([&] { dlg.OnCommand(CKelvaneDlg::ID_SELECT_ALL); });
        const double invert = Timed([&] { dlg.OnCommand(CKelvaneDlg::ID_INVERT_SELECTION); });
        for (int i = 0; i < n; i += 2) dlg.List().SetCheck(i, true);
        QApplication::processEvents();
        const double remove = Timed([&] { dlg.OnCommand(CKelvaneDlg::ID_REMOVE_SELECTED); });
        const int left = dlg.List().GetItemCount();

        std::printf("window shown after start:   %.3f s (%.3f s of it before main)\n", shown,
                    std::max(0.0, ageAtMain));
        std::printf(
            "add folder of %ld files:    %.3f s for %d rows, bare walk %.3f s, ratio %.1f\n",
            walked, add, rows, walk, add / walk);
        std::printf("longest event-loop gap while adding: %.3f s\n", addGap);
        std::printf("stop during a listing:      %.3f s\n", stop);
        std::printf("select all (%d rows):   %.3f s\n", n, selectAll);
        std::printf("invert (%d rows):       %.3f s\n", n, invert);
        std::printf("remove every other row (%d rows, %d left): %.3f s\n", n, left, remove);
        std::printf("peak memory with %d rows: %ld KiB\n", rows, peak);
        dlg.OnCommand(CKelvaneDlg::ID_CLEAR_LIST);
        dlg.close();
    }
    std::filesystem::remove_all(work);
    return 0;
}
