#include "engine/WalkFilter.h"

#include <locale.h>
#include <wctype.h>

#include "engine/FileOps.h"

namespace {

// The C.UTF-8 locale carries the full case tables; it is made once and kept for the
// life of the process (it is never changed, so threads may share it).
locale_t CaseLocale() {
    static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

char16_t LowerUnit(char16_t c, locale_t loc) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xD800 && c <= 0xDFFF) || loc == static_cast<locale_t>(0)) return c;
    wint_t l = towlower_l(static_cast<wint_t>(c), loc);
    // A mapping out of the BMP cannot be stored in one unit; keep the original.
    return l <= 0xFFFF && !(l >= 0xD800 && l <= 0xDFFF) ? static_cast<char16_t>(l) : c;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::u16string WalkFilter::Lower(std::u16string_view text) {
    const locale_t loc = CaseLocale();
    std::u16string out(text);
    for (char16_t& c : out) c = LowerUnit(c, loc);
    return out;
}

void WalkFilter::Configure(const WalkOptions& options) {
    anyName_ = options.nameFilter == u"*";
    name_ = anyName_ ? std::u16string() : Lower(options.nameFilter);

    anyExt_ = options.extFilter == u"*";
    exts_.clear();
    if (!anyExt_) {
        std::u16string_view list(options.extFilter);
        while (true) {
            size_t semi = list.find(u';');
            std::u16string_view item = Trim(list.substr(0, semi));
            if (item == u"*") anyExt_ = true;
            if (!item.empty() && item.front() == u'*') item.remove_prefix(1);
            if (!item.empty()) {
                std::u16string e = Lower(item);
                if (e.front() != u'.') e.insert(e.begin(), u'.');
                exts_.push_back(std::move(e));
            }
            if (semi == std::u16string_view::npos) break;
            list.remove_prefix(semi + 1);
        }
    }

    sizeOn_ = options.sizeFilterOn;
    minSize_ = options.minSize;
    maxSize_ = options.maxSize;
}

bool WalkFilter::Passes(const std::u16string& name, int64_t size) const {
    if (sizeOn_) {
        if (minSize_ != -1 && size < minSize_) return false;
        if (maxSize_ != -1 && size > maxSize_) return false;
    }
    if (!anyExt_) {
        size_t dot = name.rfind(u'.');
        if (dot == std::u16string::npos) return false;
        std::u16string ext = Lower(std::u16string_view(name).substr(dot));
        bool found = false;
        for (const auto& e : exts_) {
            if (e == ext) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    if (!anyName_ && Lower(name).find(name_) == std::u16string::npos) return false;
    return true;
}
