// A large file list in the main window, the way a folder listing fills it: a worker
// hands the rows over in batches (FileRowSeries, as the folder expansion does) and
// the window takes them in while it serves its event loop. No file is touched: the
// rows describe made-up paths. For each size the figures come from a fresh process,
// so that one size's freed memory does not hide the next one's:
//   time      from the first row handed over to the last one in the list
//   gap       the longest time between two ticks of a 10 ms timer meanwhile
//   memory    resident memory of the list (after - before) per row, and the peak
// and, as the figure that does not depend on the machine, the ratio of the large
// list's time and memory to the small one's of the same run.
// Usage: window_list_bench [small=100000] [large=1000000]
//        window_list_bench --rows N        (one size; prints one "rows ..." line)
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "filelist/FileListOps.h"
#include "platform/qt/ListCtrlView.h"
#include "ui/KelvaneDlg.h"

namespace {

using Clock = std::chrono::steady_clock;

long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(status, line))
        if (line.compare(0, n, key) == 0) return std::atol(line.c_str() + n);
    return -1;
}

// CPU seconds of the whole process (window and worker), which a shared machine
// does not stretch as it does the wall time.
double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    long rows = 0;
    double seconds = 0, cpu = 0, gap = 0, paint = 0;
    long listKiB = 0, peakKiB = 0;
};

int RunOne(long rows, char* argv0) {
    if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char work[] = "/tmp/kv-listbench.XXXXXX";
    if (!::mkdtemp(work)) return 1;
    const std::string base = std::string(work) + "/";
    for (const char* sub : {"home", "program", "all"})
        std::filesystem::create_directories(base + sub);

    int qargc = 1;
    char* qargv[] = {argv0, nullptr};
    QApplication app(qargc, qargv);
    Figures f;
    f.rows = rows;
    {
        CKelvaneDlg dlg(StorageLocations{base + "program/", base + "home/", base + "all/"});
        dlg.show();
        for (int i = 0; i < 20; ++i) QApplication::processEvents();
        const long before = StatusKiB("VmRSS:");

        const auto start = Clock::now();
        const double cpuStart = CpuSeconds();
        std::thread worker([&dlg, rows] {
            FileRowSeries series(dlg);
            std::u16string path;
            for (long i = 0; i < rows; ++i) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "/home/user/Documents/projects/d%04ld/report-%07ld.txt", i / 1000, i);
                path = WideFromUtf8(text);
                series.AddFile(path, (i * 7919) % 50000000, 1700000000 + i * 37);
            }
        });
        // The window waits for events as it does in use; a timer of 10 ms tells
        // how long it could not answer.
        QTimer beat;
        auto lastBeat = Clock::now();
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            f.gap = std::max(f.gap, std::chrono::duration<double>(now - lastBeat).count());
            lastBeat = now;
        });
        beat.start(10);
        while (dlg.List().GetItemCount() < rows)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        beat.stop();
        f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        f.cpu = CpuSeconds() - cpuStart;
        worker.join();
        QApplication::processEvents();
        f.listKiB = StatusKiB("VmRSS:") - before;
        f.peakKiB = StatusKiB("VmHWM:");

        // The view shows the end of the list: what a look at it costs.
        const auto paint = Clock::now();
        dlg.ListView()->scrollToBottom();
        (void)dlg.grab();
        f.paint = std::chrono::duration<double>(Clock::now() - paint).count();
        dlg.OnCommand(CKelvaneDlg::ID_CLEAR_LIST);
        dlg.close();
    }
    std::filesystem::remove_all(work);
    std::printf("rows %ld seconds %.3f cpu %.3f gap %.3f list_kib %ld peak_kib %ld paint %.3f\n",
                f.rows, f.seconds, f.cpu, f.gap, f.listKiB, f.peakKiB, f.paint);
    return 0;
}

bool RunChild(const char* self, long rows, Figures& f) {
    const std::string command = std::string("'") + self + "' --rows " + std::to_string(rows);
    FILE* out = ::popen(command.c_str(), "r");
    if (!out) return false;
    char line[512];
    bool ok = false;
    while (std::fgets(line, sizeof line, out))
        ok = ok || std::sscanf(line,
                               "rows %ld seconds %lf cpu %lf gap %lf list_kib %ld peak_kib %ld "
                               "paint %lf",
                               &f.rows, &f.seconds, &f.cpu, &f.gap, &f.listKiB, &f.peakKiB,
                               &f.paint) == 7;
    return ::pclose(out) == 0 && ok;
}

void Print(const Figures& f) {
    std::printf(
        "%8ld rows: %6.3f s (CPU %6.3f s), longest interval of a 10 ms timer %.3f s, list %7ld KiB "
        "(%4.0f bytes a row), peak %7ld KiB, showing the end %.3f s\n",
        f.rows, f.seconds, f.cpu, f.gap, f.listKiB,
        1024.0 * static_cast<double>(f.listKiB) / static_cast<double>(f.rows), f.peakKiB, f.paint);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--rows") == 0)
        return RunOne(std::max(1L, std::atol(argv[2])), argv[0]);
    const long small = argc > 1 ? std::max(1L, std::atol(argv[1])) : 100000;
    const long large = argc > 2 ? std::max(1L, std::atol(argv[2])) : 1000000;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    Figures a, b;
    if (!RunChild(self.c_str(), small, a) || !RunChild(self.c_str(), large, b)) {
        std::fprintf(stderr, "a measuring run failed\n");
        return 1;
    }
    Print(a);
    Print(b);
    std::printf("ratio %ld/%ld rows: time %.2f, CPU %.2f, list memory %.2f (rows %.1f)\n", b.rows,
                a.rows, b.seconds / a.seconds, b.cpu / std::max(1e-9, a.cpu),
                static_cast<double>(b.listKiB) / static_cast<double>(std::max(1L, a.listKiB)),
                static_cast<double>(b.rows) / static_cast<double>(a.rows));
    return 0;
}
