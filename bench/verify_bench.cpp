// The cost of "Verify the last pass": shreds the same file twice, once without
// and once with the read-back and extent comparison, and prints both times and
// their ratio:
//   verify_bench FILE SIZE_MIB PASSES
// The file is created (or resized) to SIZE_MIB MiB and synced first, outside the
// timing, and kept afterwards.
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
#include "engine/ShredCheck.h"

namespace {

double Shred(const std::string& path, int passes, ShredCheck* check) {
    ShredFileOptions options;
    options.path = WideFromUtf8(path);
    options.shredNames = false;
    options.modifySize = false;
    options.deleteAfter = false;
    options.check = check;
    FileOps ops;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ops.ShredFile(passes, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE SIZE_MIB PASSES\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const long long bytes = std::atoll(argv[2]) * (1LL << 20);
    const int passes = std::atoi(argv[3]);
    if (bytes <= 0 || passes < 1 || !Prepare(path, bytes)) {
        std::fprintf(stderr, "cannot prepare %s\n", path.c_str());
        return 2;
    }
    const double plain = Shred(path, passes, nullptr);
    ShredCheck check;
    const double verified = Shred(path, passes, &check);
    if (plain < 0 || verified < 0) {
        std::fprintf(stderr, "ShredFile failed (check failure %d)\n",
                     static_cast<int>(check.failure()));
        return 1;
    }
    std::printf("without verify: %.3f s\nwith verify:    %.3f s (read back %s)\nratio: %.3f\n",
                plain, verified, check.direct() ? "with O_DIRECT" : "after dropping the cache",
                verified / plain);
    return 0;
}
