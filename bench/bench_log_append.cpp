// Cost of the log's open-write-close per line, against writing the same bytes
// through one descriptor held open for the whole run (the reference in the same
// run). Prints both times and their ratio.
//   bench_log_append [lines] [folder]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/TextConv.h"
#include "log/LogFile.h"

namespace {
double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
}  // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    const std::string logPath = folder + "/bench_KelvaneLog.txt";
    const std::string refPath = folder + "/bench_reference.txt";
    ::unlink(logPath.c_str());
    ::unlink(refPath.c_str());
    const std::u16string line =
        U16("/home/user/Documents/some folder/a rather long file name.pdf [done]");

    auto t0 = std::chrono::steady_clock::now();
    int fd = ::open(refPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    const std::string bytes = LogBytes(line);
    for (int i = 0; i < lines; ++i)
        if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return 1;
    ::close(fd);
    const double reference = Seconds(t0);

    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i)
        if (!AppendTextToFile(logPath, line)) return 1;
    const double perLine = Seconds(t0);

    std::printf(
        "lines %d  held-open %.4f s  open-per-line %.4f s  ratio %.1f  (%.1f us per line)\n", lines,
        reference, perLine, perLine / reference, 1e6 * perLine / lines);
    ::unlink(logPath.c_str());
    ::unlink(refPath.c_str());
    return 0;
}
