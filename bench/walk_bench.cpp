// Walks a folder tree with FileOps' walker the way the folder expansion does
// (recursive, no filters, empty folders reported) and prints the number of files
// and the best wall time of several walks.
//
//   walk_bench make DIR FOLDERS FILES   build a tree: FOLDERS folders (10 top folders,
//                                       the rest spread below them), FILES files in all
//   walk_bench walk DIR [REPEATS] [nostat]
//                                       prints "<files> <best milliseconds>"; with
//                                       "nostat" the walk leaves size and time out
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "config/TextConv.h"
#include "engine/FileOps.h"

namespace {

int Make(const std::string& root, int folders, int files) {
    if (folders < 10 || files < 0) return 2;
    std::vector<std::string> dirs;
    const int top = 10;
    for (int i = 0; i < top; ++i) dirs.push_back(root + "/d" + std::to_string(i));
    for (int i = 0; i < folders - top; ++i)
        dirs.push_back(dirs[i % top] + "/s" + std::to_string(i));
    if (::mkdir(root.c_str(), 0755) != 0) return 1;
    for (const auto& d : dirs)
        if (::mkdir(d.c_str(), 0755) != 0) return 1;
    for (int i = 0; i < files; ++i) {
        std::ofstream f(dirs[i % folders] + "/file" + std::to_string(i) + ".dat");
        f << i;
        if (!f) return 1;
    }
    return 0;
}

int Walk(const std::string& root, int repeats, bool fill) {
    WalkOptions o;
    o.recursive = true;
    o.startFolder = WideFromUtf8(root + "/");
    o.reportEmptyFolders = true;
    o.fillSizeAndTime = fill;
    double best = 1e300;
    long files = 0;
    for (int r = 0; r < std::max(1, repeats); ++r) {
        auto t0 = std::chrono::steady_clock::now();
        FileOps ops;
        ops.WalkConfigure(o);
        std::u16string path;
        int64_t size = 0, time = 0;
        long n = 0;
        for (bool more = ops.WalkFirst(path, size, time); more;
             more = ops.WalkNext(path, size, time)) {
            if (!path.empty() && path.back() != u'/') ++n;
        }
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
        files = n;
    }
    std::printf("%ld %.1f\n", files, best);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 4 && a[0] == "make")
        return Make(a[1], std::atoi(a[2].c_str()), std::atoi(a[3].c_str()));
    if (a.size() >= 2 && a.size() <= 4 && a[0] == "walk") {
        const bool fill = !(a.size() == 4 && a[3] == "nostat");
        return Walk(a[1], a.size() >= 3 ? std::atoi(a[2].c_str()) : 5, fill);
    }
    std::fprintf(
        stderr,
        "usage: walk_bench make DIR FOLDERS FILES | walk_bench walk DIR [REPEATS] [nostat]\n");
    return 2;
}
