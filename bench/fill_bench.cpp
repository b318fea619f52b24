// Fills the free space of one folder's file system once and prints the rate.
// Usage: fill_bench ROOT [ITERATIONS] [BLOCK_SIZE] [SMALL auto|on|off] [TRIM on|off]
// Meant for a scratch file system (bench/fill_vs_dd.sh mounts one); never point
// it at a disk whose free space matters to anybody.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/TextConv.h"
#include "engine/FileOps.h"
#include "engine/FillDrive.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ROOT [ITERATIONS] [BLOCK_SIZE] [auto|on|off] [on|off]\n",
                     argv[0]);
        return 2;
    }
    FillParams params;
    params.iterations = argc > 2 ? std::atoi(argv[2]) : 1;
    if (argc > 3 && std::atoi(argv[3]) > 0)
        params.blockSize = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const std::string small = argc > 4 ? argv[4] : "auto";
    params.smallObjects = small == "on"    ? FillParams::Small::On
                          : small == "off" ? FillParams::Small::Off
                                           : FillParams::Small::Auto;
    params.trim = !(argc > 5 && std::string(argv[5]) == "off");
    params.random = true;
    SeedThreadRandom(1);
    FillRun run(params);
    std::atomic<bool> stop{false};
    FillNotifications notify;
    notify.note = [](const std::u16string& line) {
        std::fprintf(stderr, "%s\n", Utf8FromWide(line).c_str());
    };
    const auto start = std::chrono::steady_clock::now();
    FillOutcome out = FillDrive(WideFromUtf8(argv[1]), params, run, notify, stop);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!out.started) {
        std::fprintf(stderr, "fill_bench: %s cannot be filled\n", argv[1]);
        return 1;
    }
    // Bytes that reached the file system: every pass counts.
    const double bytes = static_cast<double>(out.written) * params.iterations;
    std::printf("bytes=%llu passes=%d seconds=%.3f MiBps=%.1f diskFull=%d ok=%d smallFiles=%u\n",
                static_cast<unsigned long long>(out.written), params.iterations, seconds,
                bytes / seconds / 1048576.0, out.diskFull ? 1 : 0, out.Ok() ? 1 : 0,
                out.smallFiles);
    return out.Ok() ? 0 : 1;
}
