// Shreds one file and reports the time taken:
//   shred_bench FILE SIZE_MIB PASSES [BLOCK_SIZE [VALUE]]
// VALUE is the fixed byte or pattern file; without it the data is random.
// The file is created (or resized) to SIZE_MIB MiB and synced first, outside the
// timing; the shred keeps the file (no renaming, no size change, no deletion) so
// that a comparison can run on the very same file afterwards.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchFile.h"
#include "config/TextConv.h"
#include "engine/FileOps.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE SIZE_MIB PASSES [BLOCK_SIZE [VALUE]]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const long long bytes = std::atoll(argv[2]) * (1LL << 20);
    const int passes = std::atoi(argv[3]);
    const auto block = static_cast<uint32_t>(argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 0);
    if (bytes <= 0 || passes < 1) {
        std::fprintf(stderr, "size and passes must be positive\n");
        return 2;
    }
    if (!Prepare(path, bytes)) {
        std::fprintf(stderr, "cannot prepare %s\n", path.c_str());
        return 1;
    }
    ShredFileOptions options;
    options.path = WideFromUtf8(path);
    options.shredNames = false;
    options.modifySize = false;
    options.deleteAfter = false;
    options.blockSize = block;
    if (argc > 5) options.shredValue = WideFromUtf8(argv[5]);

    FileOps ops;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ops.ShredFile(passes, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "ShredFile failed\n");
        return 1;
    }
    const double mib = static_cast<double>(bytes) * passes / (1 << 20);
    std::printf("seconds=%.3f MiB=%.0f MiB/s=%.1f\n", seconds, mib, mib / seconds);
    return 0;
}
