#include "config/TextConv.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry the bytes 0x80..0xFF

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

bool IsCont(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

std::string Utf8FromWide(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        char16_t u = wide[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - kEscapeBase));  // an escaped raw byte
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);  // another lone surrogate has no byte form
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::u16string WideFromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        char32_t cp = 0;
        size_t len = 0;
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len != 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            if (!IsCont(s[i + k]))
                ok = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok) {
            // Overlong forms, encoded surrogates and values past U+10FFFF are not UTF-8.
            if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                (cp >= 0xD800 && cp <= 0xDFFF))
                ok = false;
        }
        if (!ok) {
            out.push_back(static_cast<char16_t>(kEscapeBase + c));
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += len;
    }
    return out;
}

namespace {

void AppendEscape(std::u16string& out, char16_t prefix, unsigned value, int digits) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    out.push_back(u'\\');
    out.push_back(prefix);
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out.push_back(kHex[(value >> shift) & 0xF]);
}

bool NeedsUnicodeEscape(char16_t u) {
    return (u >= 0x80 && u <= 0x9F) ||      // C1 controls (NEL among them)
           u == 0x2028 || u == 0x2029 ||    // line and paragraph separators
           (u >= 0x202A && u <= 0x202E) ||  // bidirectional embeddings and overrides
           (u >= 0x2066 && u <= 0x2069);    // bidirectional isolates
}

std::u16string Printable(std::u16string_view text, bool escapeBackslash) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out.push_back(u);  // a whole pair: a character beyond the first plane
            out.push_back(text[++i]);
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            AppendEscape(out, u'x', u - kEscapeBase, 2);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendEscape(out, u'u', u, 4);
        } else if (u == u'\\') {
            // Every escape starts with it: kept bare, a name holding the four
            // characters "\x0a" would read like one holding a line break.
            out += escapeBackslash ? u"\\\\" : u"\\";
        } else if (u == u'\n') {
            out += u"\\n";
        } else if (u == u'\r') {
            out += u"\\r";
        } else if (u == u'\t') {
            out += u"\\t";
        } else if (u < 0x20 || u == 0x7F) {
            AppendEscape(out, u'x', u, 2);
        } else if (NeedsUnicodeEscape(u)) {
            AppendEscape(out, u'u', u, 4);
        } else {
            out.push_back(u);
        }
    }
    return out;
}

}  // namespace

std::u16string PrintableText(std::u16string_view text) {
    return Printable(text, true);
}

std::u16string PrintableStoredText(std::u16string_view text) {
    return Printable(text, false);
}
