#include "filelist/SortListCtrl.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

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
    // One notification for the whole sort instead of one per exchanged row.
    ListCtrlObserver* observer = observer_;
    observer_ = nullptr;
    QuickSort(0, n - 1);
    observer_ = observer;
    NotifyChanged(0, n - 1);
}

const std::u16string& CSortListCtrl::TextRef(int row) const {
    static const std::u16string kEmpty;
    const auto& texts = items_[static_cast<size_t>(row)].texts;
    if (sortColumn_ < 0 || static_cast<size_t>(sortColumn_) >= texts.size()) return kEmpty;
    return texts[static_cast<size_t>(sortColumn_)];
}

void CSortListCtrl::QuickSort(int lo, int hi) {
    // Recursing into the smaller part keeps the depth logarithmic whatever the
    // input; the larger part is handled by the loop.
    while (lo < hi) {
        int p = Partition(lo, hi);
        if (p - lo < hi - p) {
            QuickSort(lo, p);
            lo = p + 1;
        } else {
            QuickSort(p + 1, hi);
            hi = p;
        }
    }
}

int CSortListCtrl::Partition(int lo, int hi) {
    // The median of the first, middle and last rows becomes the pivot, moved to
    // the first place so that Hoare's scheme stays as it is. A sorted or reversed
    // list then splits in halves instead of one row at a time.
    const int mid = lo + (hi - lo) / 2;
    const int lessOp = Less;
    int a = lo, b = mid, c = hi;
    if (CompareTexts(TextRef(b), TextRef(a), lessOp)) std::swap(a, b);
    if (CompareTexts(TextRef(c), TextRef(b), lessOp)) std::swap(b, c);
    if (CompareTexts(TextRef(b), TextRef(a), lessOp)) std::swap(a, b);
    if (b != lo) SwapRows(lo, b);

    const std::u16string pivot = TextRef(lo);
    const int opJ = ascending_ ? Greater : Less;
    const int opI = ascending_ ? Less : Greater;
    int i = lo - 1;
    int j = hi + 1;
    for (;;) {
        do --j;
        while (CompareTexts(TextRef(j), pivot, opJ));
        do ++i;
        while (CompareTexts(TextRef(i), pivot, opI));
        if (j <= i) return j;
        SwapRows(j, i);
    }
}

bool CSortListCtrl::SwapRows(int first, int second) {
    const int n = GetItemCount();
    if (first < 0 || second < 0 || first >= n || second >= n || first == second) return false;
    Item& x = items_[static_cast<size_t>(first)];
    Item& y = items_[static_cast<size_t>(second)];
    const size_t columns = static_cast<size_t>(HeaderColumnCount());
    if (x.texts.size() < columns) x.texts.resize(columns);
    if (y.texts.size() < columns) y.texts.resize(columns);
    for (size_t c = 0; c < columns; ++c) x.texts[c].swap(y.texts[c]);
    const uint32_t xs = x.state, ys = y.state;
    x.state = (xs & ~kSwapStateMask) | (ys & kSwapStateMask);
    y.state = (ys & ~kSwapStateMask) | (xs & kSwapStateMask);
    std::swap(x.image, y.image);
    std::swap(x.data, y.data);
    NotifyChanged(first, first);
    NotifyChanged(second, second);
    return true;
}
