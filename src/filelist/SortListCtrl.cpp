#include "filelist/SortListCtrl.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/NumberText.h"

namespace {

template <class T>
bool Eval(const T& a, const T& b, int op) {
    switch (op) {
        case CSortListCtrl::Less:
            return a < b;
        case CSortListCtrl::Greater:
            return a > b;
        case CSortListCtrl::LessEqual:
            return a <= b;
        case CSortListCtrl::GreaterEqual:
            return a >= b;
        default:
            return a == b;
    }
}

// Sizes of 2 GiB and more must still sort by size, so the integer reading is
// 64 bits wide (saturating), not 32.
int64_t IntegerOf(const std::u16string& text) {
    DecimalPrefix p = ReadDecimalPrefix(std::u16string_view(text));
    if (!p.hasDigits) return 0;
    constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
    if (p.negative) return p.magnitude > kMax ? INT64_MIN : -static_cast<int64_t>(p.magnitude);
    return p.magnitude > kMax ? INT64_MAX : static_cast<int64_t>(p.magnitude);
}

// A double from the start of the text exactly as the C library's strtod reads one
// in the "C" locale (so "." is the decimal point whatever locale the toolkit has
// set): hexadecimal numbers, "inf" and "nan", one sign only, infinity beyond the
// range, 0 where no number starts.
double RealOf(const std::u16string& text) {
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    // No number goes on past a character outside ASCII, nor past a NUL.
    std::string ascii;
    ascii.reserve(text.size());
    for (char16_t c : text) {
        if (c == 0 || c >= 0x80) break;
        ascii.push_back(static_cast<char>(c));
    }
    if (cLocale == locale_t{}) return std::strtod(ascii.c_str(), nullptr);
    return ::strtod_l(ascii.c_str(), nullptr, cLocale);
}

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

// Ordinal comparison of UTF-16 code units, optionally with a..z upper-cased.
int CompareUnits(const std::u16string& a, const std::u16string& b, bool noCase) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = noCase ? UpperAscii(a[i]) : a[i];
        char16_t y = noCase ? UpperAscii(b[i]) : b[i];
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// The order of CompareUnits on the packed form of two texts. ASCII packs as
// itself, so common heads of plain names are compared byte by byte; from the
// first unit outside ASCII on, the rests are unpacked and compared as units.
class PackedOrder {
  public:
    explicit PackedOrder(bool noCase) : noCase_(noCase) {}

    int Compare(std::string_view a, std::string_view b) {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            auto x = static_cast<unsigned char>(a[i]);
            auto y = static_cast<unsigned char>(b[i]);
            if (x >= 0x80 || y >= 0x80) return CompareRests(a.substr(i), b.substr(i));
            if (noCase_) {
                x = static_cast<unsigned char>(UpperAscii(x));
                y = static_cast<unsigned char>(UpperAscii(y));
            }
            if (x != y) return x < y ? -1 : 1;
        }
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }

  private:
    int CompareRests(std::string_view a, std::string_view b) {
        restA_.clear();
        restB_.clear();
        rowtext::Decode(a, restA_);
        rowtext::Decode(b, restB_);
        return CompareUnits(restA_, restB_, noCase_);
    }

    bool noCase_;
    std::u16string restA_, restB_;
};

// Hoare's partition with the median of the first, middle and last keys as pivot,
// moved to the first place. A sorted or reversed list then splits in halves
// instead of one row at a time. `exchange` moves the rows along with the keys.
template <class Key, class Less, class Exchange>
void HoareSort(std::vector<Key>& keys, bool ascending, Less compare, Exchange exchange) {
    auto swap = [&](int x, int y) {
        std::swap(keys[static_cast<size_t>(x)], keys[static_cast<size_t>(y)]);
        exchange(x, y);
    };
    auto at = [&](int i) -> const Key& { return keys[static_cast<size_t>(i)]; };
    const int opJ = ascending ? CSortListCtrl::Greater : CSortListCtrl::Less;
    const int opI = ascending ? CSortListCtrl::Less : CSortListCtrl::Greater;
    auto partition = [&](int lo, int hi) {
        const int mid = lo + (hi - lo) / 2;
        int a = lo, b = mid, c = hi;
        if (compare(at(b), at(a), CSortListCtrl::Less)) std::swap(a, b);
        if (compare(at(c), at(b), CSortListCtrl::Less)) std::swap(b, c);
        if (compare(at(b), at(a), CSortListCtrl::Less)) std::swap(a, b);
        if (b != lo) swap(lo, b);
        const Key pivot = at(lo);
        int i = lo - 1;
        int j = hi + 1;
        for (;;) {
            do --j;
            while (compare(at(j), pivot, opJ));
            do ++i;
            while (compare(at(i), pivot, opI));
            if (j <= i) return j;
            swap(j, i);
        }
    };
    // Recursing into the smaller part keeps the depth logarithmic whatever the
    // input; the larger part is handled by the loop.
    auto sort = [&](auto& self, int lo, int hi) -> void {
        while (lo < hi) {
            const int p = partition(lo, hi);
            if (p - lo < hi - p) {
                self(self, lo, p);
                lo = p + 1;
            } else {
                self(self, p + 1, hi);
                hi = p;
            }
        }
    };
    sort(sort, 0, static_cast<int>(keys.size()) - 1);
}

}  // namespace

bool CSortListCtrl::CompareTexts(const std::u16string& first, const std::u16string& second,
                                 int op) const {
    switch (sortType_) {
        case SortInteger:
            return Eval(IntegerOf(first), IntegerOf(second), op);
        case SortReal:
            return Eval(RealOf(first), RealOf(second), op);
        case SortTextNoCase:
            return Eval(CompareUnits(first, second, true), 0, op);
        default:
            return Eval(CompareUnits(first, second, false), 0, op);
    }
}

void CSortListCtrl::OnColumnClick(int column, int type, int& result) {
    result = 0;
    sortType_ = type;
    if (column < 0 || column >= HeaderColumnCount()) return;
    ascending_ = column != sortColumn_ ? true : !ascending_;
    sortColumn_ = column;
    Resort();
}

void CSortListCtrl::Resort() {
    SortByColumn(sortColumn_, ascending_, sortType_);
}

void CSortListCtrl::SortByColumn(int column, bool ascending, int type) {
    sortColumn_ = column;
    ascending_ = ascending;
    sortType_ = type;
    const int n = GetItemCount();
    if (n < 2) return;
    // Each row's key is read once: a number, or the packed text itself. The rows
    // are exchanged with their keys, so the order comes out as if the texts had
    // been compared by CompareTexts.
    auto exchange = [this](int x, int y) {
        ExchangeRows(static_cast<size_t>(x), static_cast<size_t>(y));
    };
    auto cell = [this](size_t row) { return texts_.Cell(rows_[row].text, sortColumn_); };
    if (type == SortInteger || type == SortReal) {
        std::u16string text;
        auto number = [&](size_t row, auto read) {
            text.clear();
            rowtext::Decode(cell(row), text);
            return read(text);
        };
        if (type == SortInteger) {
            std::vector<int64_t> keys(static_cast<size_t>(n));
            for (size_t r = 0; r < keys.size(); ++r) keys[r] = number(r, IntegerOf);
            HoareSort(
                keys, ascending, [](int64_t a, int64_t b, int op) { return Eval(a, b, op); },
                exchange);
        } else {
            std::vector<double> keys(static_cast<size_t>(n));
            for (size_t r = 0; r < keys.size(); ++r) keys[r] = number(r, RealOf);
            HoareSort(
                keys, ascending, [](double a, double b, int op) { return Eval(a, b, op); },
                exchange);
        }
    } else {
        // The arena is not changed while the sort runs, so the views stay valid.
        std::vector<std::string_view> keys(static_cast<size_t>(n));
        for (size_t r = 0; r < keys.size(); ++r) keys[r] = cell(r);
        PackedOrder order(type == SortTextNoCase);
        HoareSort(
            keys, ascending,
            [&order](std::string_view a, std::string_view b, int op) {
                return Eval(order.Compare(a, b), 0, op);
            },
            exchange);
    }
    NotifyChanged(0, n - 1);
}

void CSortListCtrl::ExchangeRows(size_t first, size_t second) {
    Row& x = rows_[first];
    Row& y = rows_[second];
    const uint32_t xs = x.state, ys = y.state;
    std::swap(x, y);
    x.state = (xs & ~kSwapStateMask) | (ys & kSwapStateMask);
    y.state = (ys & ~kSwapStateMask) | (xs & kSwapStateMask);
}

bool CSortListCtrl::SwapRows(int first, int second) {
    const int n = GetItemCount();
    if (first < 0 || second < 0 || first >= n || second >= n || first == second) return false;
    ExchangeRows(static_cast<size_t>(first), static_cast<size_t>(second));
    NotifyChanged(first, first);
    NotifyChanged(second, second);
    return true;
}
