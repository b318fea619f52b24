#include "config/NumberText.h"

#include <limits>

namespace {

bool IsSpace(char32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <typename Char>
DecimalPrefix ReadPrefix(std::basic_string_view<Char> text) {
    DecimalPrefix r;
    size_t i = 0;
    while (i < text.size() && IsSpace(static_cast<char32_t>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        r.negative = text[i] == '-';
        ++i;
    }
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        r.hasDigits = true;
        uint64_t d = static_cast<uint64_t>(text[i] - '0');
        if (r.magnitude > (kMax - d) / 10) r.magnitude = kMax;
        else r.magnitude = r.magnitude * 10 + d;
        ++i;
    }
    return r;
}

int32_t ToInt32(const DecimalPrefix& p) {
    if (!p.hasDigits) return 0;
    if (p.negative) {
        if (p.magnitude >= 2147483648ull) return std::numeric_limits<int32_t>::min();
        return -static_cast<int32_t>(p.magnitude);
    }
    if (p.magnitude > 2147483647ull) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(p.magnitude);
}

bool ToUInt32(const DecimalPrefix& p, uint32_t& out) {
    if (!p.hasDigits) return false;
    // strtoul saturates before the sign is applied; "%u" follows it.
    uint64_t m = p.magnitude > 0xFFFFFFFFull ? 0xFFFFFFFFull : p.magnitude;
    uint32_t v = static_cast<uint32_t>(m);
    out = p.negative && p.magnitude <= 0xFFFFFFFFull ? static_cast<uint32_t>(0u - v) : v;
    return true;
}

}  // namespace

DecimalPrefix ReadDecimalPrefix(std::string_view text) { return ReadPrefix(text); }
DecimalPrefix ReadDecimalPrefix(std::u16string_view text) { return ReadPrefix(text); }
int32_t ParseInt32(std::string_view text) { return ToInt32(ReadPrefix(text)); }
int32_t ParseInt32(std::u16string_view text) { return ToInt32(ReadPrefix(text)); }
bool ParseUInt32Modulo(std::string_view text, uint32_t& out) { return ToUInt32(ReadPrefix(text), out); }
bool ParseUInt32Modulo(std::u16string_view text, uint32_t& out) {
    return ToUInt32(ReadPrefix(text), out);
}
