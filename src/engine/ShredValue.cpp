#include "engine/ShredValue.h"

namespace {

bool IsCSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

unsigned char ShredValueByte(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    unsigned value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = (value * 10u + static_cast<unsigned>(text[i] - u'0')) & 0xFFu;
    if (negative) value = (256u - value) & 0xFFu;
    return static_cast<unsigned char>(value);
}
