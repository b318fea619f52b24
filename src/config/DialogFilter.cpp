#include "config/DialogFilter.h"

#include <vector>

namespace {

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::u16string Trimmed(std::u16string_view s) {
    while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return std::u16string(s);
}

}  // namespace

std::u16string DialogFilterFromText(std::u16string_view text) {
    const std::vector<std::u16string_view> parts = Split(text, u'|');
    std::u16string result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::u16string description = Trimmed(parts[i]);
        if (description.empty() || parts[i + 1].empty()) break;
        std::u16string patterns;
        for (std::u16string_view p : Split(parts[i + 1], u';')) {
            std::u16string pattern = Trimmed(p);
            if (pattern.empty()) continue;
            if (pattern == u"*.*") pattern.assign(1, u'*');
            if (!patterns.empty()) patterns += u' ';
            patterns += pattern;
        }
        if (patterns.empty()) break;
        // Qt shows the patterns itself: a description that names them already
        // ("All files(*.*)") would show them twice, the second time changed.
        const size_t open = description.rfind(u'(');
        if (open != std::u16string::npos && open > 0 && description.back() == u')' &&
            description.find_first_of(u"*.", open) != std::u16string::npos)
            description = Trimmed(std::u16string_view(description).substr(0, open));
        if (!result.empty()) result += u";;";
        result += description + u" (" + patterns + u")";
    }
    return result;
}
