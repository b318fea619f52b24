// Sorting the file list: 100000 rows by each column, both directions, from sorted,
// reversed and random input. Prints one line per case with the wall and CPU time
// of the sort and, as the reference of the same run, the CPU time std::sort takes
// to order the same keys held in a plain vector with the same comparison (the
// ratio says what sorting inside the store costs). CPU times are shown because a
// shared machine stretches wall times.
//
//   build/sort_bench [rows]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "filelist/SortListCtrl.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

std::u16string U(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

struct Row {
    std::u16string name, size, date, path;
};

std::vector<Row> MakeRows(int n) {
    std::vector<Row> rows;
    rows.reserve(static_cast<size_t>(n));
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i) {
        char name[64], date[32];
        std::snprintf(name, sizeof name, "Report_%06d_%c.txt", i,
                      'a' + static_cast<int>(rng() % 26));
        int day = 1 + i % 28, month = 1 + (i / 28) % 12, year = 2000 + (i / 336) % 25;
        std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, i % 24,
                      i % 60, (i * 7) % 60);
        rows.push_back({U(name),
                        U(std::to_string((static_cast<long long>(i) * 7919) % 5000000000LL)),
                        i % 50 == 0 ? u"FOLDER" : U(date), U(std::string("/data/dir/") + name)});
    }
    return rows;
}

void Load(CSortListCtrl& list, const std::vector<Row>& rows) {
    list.DeleteAllItems();
    for (const Row& r : rows) {
        int i = list.InsertItem(list.GetItemCount(), r.name);
        list.SetItemText(i, 1, r.size);
        list.SetItemText(i, 2, r.date);
        list.SetItemText(i, 3, r.path);
        list.SetCheck(i, true);
    }
}

bool IsOrdered(const CSortListCtrl& list, int column, bool ascending) {
    for (int r = 1; r < list.GetItemCount(); ++r) {
        const auto a = list.GetItemText(r - 1, column), b = list.GetItemText(r, column);
        if (!list.CompareTexts(a, b,
                               ascending ? CSortListCtrl::LessEqual : CSortListCtrl::GreaterEqual))
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(2, std::atoi(argv[1])) : 100000;
    const char* columnNames[] = {"Filename", "Size", "Date", "Path"};
    const char* inputNames[] = {"sorted", "reversed", "random"};
    std::vector<Row> base = MakeRows(n);
    std::printf("%-9s %-10s %-9s %9s %9s %13s %6s\n", "column", "direction", "input", "wall ms",
                "cpu ms", "std::sort cpu", "ratio");
    double worst = 0;
    bool allOrdered = true;
    for (int column = 0; column < 4; ++column) {
        const int type = column == 1 ? CSortListCtrl::SortInteger : CSortListCtrl::SortTextNoCase;
        for (int dir = 0; dir < 2; ++dir) {
            const bool ascending = dir == 0;
            for (int input = 0; input < 3; ++input) {
                // Build the input order with the store's own comparison.
                CSortListCtrl list;
                list.InsertColumn(0, u"Filename");
                list.InsertColumn(1, u"Size");
                list.InsertColumn(2, u"Date");
                list.InsertColumn(3, u"");
                Load(list, base);
                if (input < 2) {
                    list.SortByColumn(column, input == 0 ? ascending : !ascending, type);
                } else {
                    std::vector<Row> shuffled = base;
                    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(99));
                    Load(list, shuffled);
                }
                std::vector<std::u16string> keys;
                keys.reserve(static_cast<size_t>(n));
                for (int r = 0; r < n; ++r) keys.push_back(list.GetItemText(r, column));

                auto t0 = Clock::now();
                const double c0 = CpuMs();
                list.SortByColumn(column, ascending, type);
                const double c1 = CpuMs();
                auto t1 = Clock::now();
                std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
                    return list.CompareTexts(
                        a, b, ascending ? CSortListCtrl::Less : CSortListCtrl::Greater);
                });
                const double c2 = CpuMs();
                const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
                const double cpu = c1 - c0;
                const double ref = c2 - c1;
                const bool ok = IsOrdered(list, column, ascending);
                allOrdered = allOrdered && ok;
                worst = std::max(worst, cpu);
                std::printf("%-9s %-10s %-9s %9.1f %9.1f %13.1f %6.2f%s\n", columnNames[column],
                            ascending ? "ascending" : "descending", inputNames[input], ms, cpu, ref,
                            ref > 0 ? cpu / ref : 0.0, ok ? "" : "  NOT ORDERED");
            }
        }
    }
    std::printf("rows %d, slowest sort %.1f ms CPU%s\n", n, worst,
                allOrdered ? "" : ", ORDER ERRORS");
    return allOrdered ? 0 : 1;
}
